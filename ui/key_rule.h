// Which entry of the phone a key press reaches. Ctrl shortcuts and the handheld's Talk (F3) and
// End (F4) keys work in every state. During a normal call the unmodified keys (Shift only for
// "#" and "*") press keypad buttons and so become DTMF: Enter → "#", Escape → "*", digits, and
// letters by their telephone letter groups. Otherwise Escape clears, Enter in the dial box
// dials, Backspace there is the backspace entry, digits typed elsewhere are the second digit
// entry and other printable keys go to the dial box.
#pragma once

#include <Qt>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvina::ui {

struct KeyAction {
  enum class Kind {
    kNone,        // not the phone's key: the focused control handles it
    kCommand,     // `id` is a menu command
    kKeypad,      // `id` is the keypad button 103-114
    kCallKey,
    kEndKey,
    kBackspace,
    kSecondDigit, // `digit`
    kToDialBox,   // typing with the focus elsewhere: the dial box takes the key
    kHotkeyDown,  // `id` is the hotkey whose key went down
    kHotkeyUp,    // `id` is the hotkey whose key came up
  };
  Kind kind = Kind::kNone;
  int id = 0;
  char digit = 0;

  bool operator==(const KeyAction&) const = default;
};

// A hotkey of the window: its identifier and the Qt key and modifiers that press it.
struct WindowHotkey {
  int id = 0;
  int key = 0;
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// The Qt key of a stored hotkey (window-system modifier flags and virtual-key code); nothing
// for a key this window cannot see (none set, or a code without a Qt key).
std::optional<WindowHotkey> QtHotkey(int id, std::uint32_t modifiers, std::uint32_t virtualKey);
// The stored value (modifiers × 65536 + virtual-key code) of a Qt key; nothing when it has no
// virtual-key code or is a modifier alone.
std::optional<std::uint32_t> StoredHotkey(int key, Qt::KeyboardModifiers modifiers);
// The stored value as the user reads it ("Ctrl+Alt+I"); "(none)" when unset.
std::string HotkeyText(std::optional<std::uint32_t> stored);

struct KeyPress {
  int key = 0;                                 // Qt::Key
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
  char text = 0;                               // the printable ASCII character typed, or 0
  bool inDialBox = false;                      // the focus is in the dial box
  bool inNormalCall = false;
  bool release = false;                        // the key came up (only hotkeys use it)
  const std::vector<WindowHotkey>* hotkeys = nullptr;
};

// Hotkeys come first: they never take a menu shortcut's or a dialling key's place (such keys
// are refused when saved). A release ends a hotkey by its key alone, whatever modifier was let
// go first.
KeyAction MapKey(const KeyPress& press);

// The key that sends menu command `command` ("Ctrl+D", "Esc"), empty when none does.
std::string ShortcutText(int command);

// The keypad button (103-114) of "1"-"9", "*", "0", "#"; 0 for any other character.
int KeypadButtonFor(char c);
// The digit whose letter group holds `letter` (A-Z, either case); 0 for other characters.
char DigitForLetter(char letter);

}  // namespace corvina::ui
