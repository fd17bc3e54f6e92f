// Which entry of the phone a key press reaches. Ctrl shortcuts and the handheld's Talk (F3) and
// End (F4) keys work in every state. During a normal call the unmodified keys (Shift only for
// "#" and "*") press keypad buttons and so become DTMF: Enter → "#", Escape → "*", digits, and
// letters by their telephone letter groups. Otherwise Escape clears, Enter in the dial box
// dials, Backspace there is the backspace entry, digits typed elsewhere are the second digit
// entry and other printable keys go to the dial box.
#pragma once

#include <Qt>
#include <string>

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
  };
  Kind kind = Kind::kNone;
  int id = 0;
  char digit = 0;

  bool operator==(const KeyAction&) const = default;
};

struct KeyPress {
  int key = 0;                                 // Qt::Key
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
  char text = 0;                               // the printable ASCII character typed, or 0
  bool inDialBox = false;                      // the focus is in the dial box
  bool inNormalCall = false;
};

KeyAction MapKey(const KeyPress& press);

// The key that sends menu command `command` ("Ctrl+D", "Esc"), empty when none does.
std::string ShortcutText(int command);

// The keypad button (103-114) of "1"-"9", "*", "0", "#"; 0 for any other character.
int KeypadButtonFor(char c);
// The digit whose letter group holds `letter` (A-Z, either case); 0 for other characters.
char DigitForLetter(char letter);

}  // namespace corvina::ui
