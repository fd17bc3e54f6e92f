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

}  // namespace

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
