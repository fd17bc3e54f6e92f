#include "ui/key_rule.h"

#include <cctype>

#include "app/controller/main_view.h"

namespace corvina::ui {
namespace {

using Kind = KeyAction::Kind;

KeyAction Command(int id) { return {Kind::kCommand, id, 0}; }

KeyAction Keypad(char c) { return {Kind::kKeypad, KeypadButtonFor(c), c}; }

// The Ctrl shortcuts of the menu commands.
struct CtrlShortcut {
  char letter;
  int command;
};
constexpr CtrlShortcut kCtrlShortcuts[] = {
    {'A', 1005},  // Answer Call
    {'D', 1001},  // Dial
    {'E', 1018},  // ReDial
    {'H', 1007},  // Hangup
    {'N', 1008},  // Do Not Disturb On
    {'O', 1009},  // Do Not Disturb Off
    {'R', 1006},  // Reject Call
};

int CtrlCommand(int key) {
  for (const CtrlShortcut& s : kCtrlShortcuts) {
    if (key == Qt::Key_A + (s.letter - 'A')) return s.command;
  }
  return 0;
}

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// "#" and "*" may need Shift; digits and letters must come without any modifier but the
// numeric pad's.
char DialCharacter(const KeyPress& press) {
  const Qt::KeyboardModifiers others = press.modifiers & ~Qt::KeypadModifier;
  if (press.key == Qt::Key_NumberSign && (others & ~Qt::ShiftModifier) == 0) return '#';
  if (press.key == Qt::Key_Asterisk && (others & ~Qt::ShiftModifier) == 0) return '*';
  if (others != 0) return 0;
  if (press.key >= Qt::Key_0 && press.key <= Qt::Key_9) return static_cast<char>('0' + (press.key - Qt::Key_0));
  return 0;
}

// Virtual-key codes of the window system beside letters (their capitals) and digits.
struct NamedVirtualKey {
  std::uint32_t code;
  int key;
  const char* name;
};
constexpr NamedVirtualKey kNamedKeys[] = {
    {0x08, Qt::Key_Backspace, "Backspace"}, {0x09, Qt::Key_Tab, "Tab"},       {0x0D, Qt::Key_Return, "Enter"},
    {0x13, Qt::Key_Pause, "Pause"},         {0x1B, Qt::Key_Escape, "Esc"},    {0x20, Qt::Key_Space, "Space"},
    {0x21, Qt::Key_PageUp, "PgUp"},         {0x22, Qt::Key_PageDown, "PgDown"}, {0x23, Qt::Key_End, "End"},
    {0x24, Qt::Key_Home, "Home"},           {0x25, Qt::Key_Left, "Left"},     {0x26, Qt::Key_Up, "Up"},
    {0x27, Qt::Key_Right, "Right"},         {0x28, Qt::Key_Down, "Down"},     {0x2D, Qt::Key_Insert, "Ins"},
    {0x2E, Qt::Key_Delete, "Del"},
};
constexpr std::uint32_t kVirtualF1 = 0x70, kFunctionKeys = 24;

struct ModifierPair {
  std::uint32_t stored;
  Qt::KeyboardModifier qt;
  const char* name;
};
constexpr ModifierPair kModifiers[] = {{2, Qt::ControlModifier, "Ctrl+"}, {1, Qt::AltModifier, "Alt+"},
                                       {4, Qt::ShiftModifier, "Shift+"},   {8, Qt::MetaModifier, "Win+"}};

// The Qt key of a virtual-key code, 0 for none.
int QtKeyOf(std::uint32_t vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return static_cast<int>(vk);  // Qt uses ASCII too
  if (vk >= kVirtualF1 && vk < kVirtualF1 + kFunctionKeys) return Qt::Key_F1 + static_cast<int>(vk - kVirtualF1);
  for (const NamedVirtualKey& k : kNamedKeys) {
    if (k.code == vk) return k.key;
  }
  return 0;
}

Qt::KeyboardModifiers HotkeyModifiers(Qt::KeyboardModifiers modifiers) {
  return modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
}

}  // namespace

std::optional<WindowHotkey> QtHotkey(int id, std::uint32_t modifiers, std::uint32_t virtualKey) {
  const int key = QtKeyOf(virtualKey);
  if (key == 0 || modifiers > 15) return std::nullopt;
  WindowHotkey hotkey{id, key, Qt::NoModifier};
  for (const ModifierPair& m : kModifiers) {
    if ((modifiers & m.stored) != 0) hotkey.modifiers |= m.qt;
  }
  return hotkey;
}

std::optional<std::uint32_t> StoredHotkey(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_Enter) key = Qt::Key_Return;
  std::uint32_t vk = 0;
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) vk = static_cast<std::uint32_t>(key);
  if (key >= Qt::Key_F1 && key < Qt::Key_F1 + static_cast<int>(kFunctionKeys)) vk = kVirtualF1 + static_cast<std::uint32_t>(key - Qt::Key_F1);
  for (const NamedVirtualKey& k : kNamedKeys) {
    if (k.key == key) vk = k.code;
  }
  if (vk == 0) return std::nullopt;
  std::uint32_t stored = 0;
  for (const ModifierPair& m : kModifiers) {
    if ((modifiers & m.qt) != 0) stored |= m.stored;
  }
  return stored * 65536 + vk;
}

std::string HotkeyText(std::optional<std::uint32_t> stored) {
  if (!stored) return "(none)";
  std::string text;
  for (const ModifierPair& m : kModifiers) {
    if ((*stored / 65536 & m.stored) != 0) text += m.name;
  }
  const std::uint32_t vk = *stored % 65536;
  const int key = QtKeyOf(vk);
  if (key == 0) return text + "key " + std::to_string(vk);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return text + "F" + std::to_string(key - Qt::Key_F1 + 1);
  for (const NamedVirtualKey& k : kNamedKeys) {
    if (k.code == vk) return text + k.name;
  }
  return text + static_cast<char>(vk);
}

int KeypadButtonFor(char c) {
  const int first = static_cast<int>(app::ControlId::kKey1);
  if (c >= '1' && c <= '9') return first + (c - '1');
  if (c == '*') return first + 9;
  if (c == '0') return first + 10;
  if (c == '#') return first + 11;
  return 0;
}

char DigitForLetter(char letter) {
  static constexpr char kDigits[] = "22233344455566677778889999";
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (upper < 'A' || upper > 'Z') return 0;
  return kDigits[upper - 'A'];
}

std::string ShortcutText(int command) {
  if (command == static_cast<int>(app::MenuId::kClear)) return "Esc";
  for (const CtrlShortcut& s : kCtrlShortcuts) {
    if (s.command == command) return std::string("Ctrl+") + s.letter;
  }
  return {};
}

KeyAction MapKey(const KeyPress& press) {
  const Qt::KeyboardModifiers mods = press.modifiers & ~Qt::KeypadModifier;
  const int key = press.key == Qt::Key_Enter ? Qt::Key_Return : press.key;
  if (press.hotkeys != nullptr) {
    for (const WindowHotkey& h : *press.hotkeys) {
      if (h.key != key) continue;
      if (press.release) return {Kind::kHotkeyUp, h.id, 0};
      if (h.modifiers == HotkeyModifiers(mods)) return {Kind::kHotkeyDown, h.id, 0};
    }
  }
  if (press.release) return {};
  if (press.key == Qt::Key_F3 || press.key == Qt::Key_Call) return {Kind::kCallKey, 0, 0};
  if (press.key == Qt::Key_F4 || press.key == Qt::Key_Hangup) return {Kind::kEndKey, 0, 0};
  if (mods == Qt::ControlModifier) {
    const int id = CtrlCommand(press.key);
    return id != 0 ? Command(id) : KeyAction{};
  }
  if ((mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) return {};

  const char dial = DialCharacter(press);
  if (press.inNormalCall) {
    if (mods == Qt::NoModifier && IsEnter(press.key)) return Keypad('#');
    if (mods == Qt::NoModifier && press.key == Qt::Key_Escape) return Keypad('*');
    if (dial != 0) return Keypad(dial);
    if (mods == Qt::NoModifier && press.key >= Qt::Key_A && press.key <= Qt::Key_Z) {
      return Keypad(DigitForLetter(static_cast<char>('A' + (press.key - Qt::Key_A))));
    }
    return {};
  }

  if (mods == Qt::NoModifier && press.key == Qt::Key_Escape) return Command(static_cast<int>(app::MenuId::kClear));
  if (press.key == Qt::Key_Period && (press.modifiers & Qt::KeypadModifier) != 0) return Keypad('*');
  if (press.inDialBox) {
    if (mods == Qt::NoModifier && IsEnter(press.key)) return Command(static_cast<int>(app::MenuId::kDial));
    if (mods == Qt::NoModifier && press.key == Qt::Key_Backspace) return {Kind::kBackspace, 0, 0};
    return {};
  }
  if (dial != 0) return {Kind::kSecondDigit, 0, dial};
  if (press.text >= ' ' && press.text < 0x7F) return {Kind::kToDialBox, 0, 0};
  return {};
}

}  // namespace corvina::ui
