// The phone controller's keys: the keypad, typed characters (touch tones in a call, else the dial
// box), the dial-box text and its list.
#include <string_view>

#include "app/controller/phone_controller.h"
#include "app/controller/phone_texts.h"
#include "app/controller/dial_text.h"

namespace corvina::app {
namespace {

constexpr const char* kSection = "Settings";

// The keypad key a typed character presses during a call (letters by their digit's group).
char KeyForTyped(char c) {
  if ((c >= '0' && c <= '9') || c == '*' || c == '#') return c;
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return 0;
  static constexpr const char* kGroups[] = {"ABC", "DEF", "GHI", "JKL", "MNO", "PQRS", "TUV", "WXYZ"};
  for (int i = 0; i < 8; ++i) {
    if (std::string_view(kGroups[i]).find(c) != std::string_view::npos) return static_cast<char>('2' + i);
  }
  return 0;
}

}  // namespace

void PhoneController::Key(char c) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (parts_.settings.GetSettingBool(kSection, "EnableKeyTone", false)) parts_.tones.KeyClick();
  if (NormalCall()) {
    PhoneLine& line = Line(current_);
    line.Call().SendDigits(std::string_view(&c, 1));
    line.digits += c;
    display_.SetCallDetails(line.remoteName, line.remoteNumber, line.digits);
    PaintDisplay();
    return;
  }
  SetDialText(dialText_ + c);
  parts_.view.FocusDialBox();
  UpdateStatus();
}

void PhoneController::SecondDigit(char c) {
  Key(c);
  if (ValidLine(current_) && Line(current_).intercom) {
    parts_.timers.SetTimer(kIntercomDialTimer, kIntercomDialMs, [this] {
      parts_.timers.KillTimer(kIntercomDialTimer);
      Dial(false);
    });
  }
}

bool PhoneController::OnTypedChar(char c) {
  if (NormalCall()) {
    char key = KeyForTyped(c);
    if (key != 0) Key(key);
    return true;
  }
  OnDialTextChanged(dialText_ + c);
  parts_.view.SetDialText(dialText_);
  return false;
}

void PhoneController::CallKey() {
  if (!Answer() && !NormalCall()) PlayTone(texts::kDialTone, true, false);
}

void PhoneController::EndKey() {
  HangUpButton();
  parts_.timers.KillTimer(kIntercomDialTimer);
}

void PhoneController::Backspace() {
  parts_.timers.KillTimer(kIntercomDialTimer);
  if (dialText_.empty()) return;
  std::size_t end = dialText_.size() - 1;
  while (end > 0 && (static_cast<unsigned char>(dialText_[end]) & 0xC0) == 0x80) --end;
  SetDialText(dialText_.substr(0, end));
  UpdateStatus();
}

void PhoneController::OnDialTextChanged(std::string_view text) {
  CORVINA_CHECK_THREAD(uiThread_);
  dialText_ = CutToField(text);
  UpdateStatus();
}

void PhoneController::SetDialText(std::string text) {
  dialText_ = CutToField(text);
  parts_.view.SetDialText(dialText_);
}

void PhoneController::OnDialListOpening() {
  // Read afresh each time, so every add, edit, delete and import shows at once.
  std::vector<AddressBookItem> addressBook;
  if (parts_.contacts != nullptr) {
    for (std::size_t i = 0, n = parts_.contacts->Count(); i < n; ++i) {
      contacts::Contact c = parts_.contacts->At(i);
      addressBook.push_back({contacts::DisplayName(c.firstName, c.lastName), c.phone});
    }
  }
  dialList_ = FillDialList(recent_, parts_.settings, addressBook);
  std::vector<std::string> texts;
  texts.reserve(dialList_.items.size());
  for (const DialListItem& item : dialList_.items) texts.push_back(item.text);
  parts_.view.SetDialList(texts);
}

bool PhoneController::PickListItem(long index) {
  std::optional<std::size_t> pos = AddressBookPosition(dialList_, index);
  if (!pos) return false;
  parts_.view.SelectDialListItem(static_cast<int>(*pos));
  SetDialText(dialList_.items[*pos].text);
  UpdateStatus();
  return true;
}

}  // namespace corvina::app
