// What the Qt window reports to the phone controller: every control and menu item by the main
// window's control or command id, the dial box's text and list, and the key entries of a
// handheld (call key, end key, backspace, digits typed outside the dial box). The window calls
// these on the user-interface thread; ControllerInput forwards them to MainWindow.
#pragma once

#include <string>
#include <string_view>

namespace corvina::ui {

class ViewInput {
 public:
  virtual ~ViewInput() = default;
  // A menu command or a command sent by a control (7100: long press on Transfer).
  virtual void OnCommand(int id) = 0;
  // A button was clicked (keypad 103-114, Call, Hang up, Transfer, Record, DND, Hold, the line
  // buttons, Conference).
  virtual void OnButton(int id) = 0;
  // The Intercom button (132) went down or came up.
  virtual void OnIntercom(bool pressed) = 0;
  // Slider 142 (play) or 143 (record) was let go at `value` (−127 … 127).
  virtual void OnSliderReleased(int id, int value) = 0;
  // The user changed the dial box text (typing or choosing a list item).
  virtual void OnDialTextChanged(std::string_view text) = 0;
  // The dial box's list is about to open: the controller fills it now.
  virtual void OnDialListOpening() = 0;
  // The handheld's Talk key (F3) and End key (F4).
  virtual void OnCallKey() = 0;
  virtual void OnEndKey() = 0;
  // Backspace in the dial box: the controller deletes the last character.
  virtual void OnBackspaceKey() = 0;
  // A digit, "*" or "#" typed with the focus outside the dial box.
  virtual void OnSecondDigit(char digit) = 0;
  // A registered hotkey's key went down or came up.
  virtual void OnHotkey(int /*id*/, bool /*down*/) {}
  // True while the current line holds a normal call: unmodified keys then become DTMF.
  virtual bool InNormalCall() const = 0;
};

}  // namespace corvina::ui
