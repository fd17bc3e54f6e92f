#include "ui/controller_input.h"

#include "app/controller/main_view.h"

namespace corvina::ui {

void ControllerInput::OnCommand(int id) {
  if (auto it = windowCommands_.find(id); it != windowCommands_.end()) {
    it->second();
    return;
  }
  if (Phone() != nullptr && Phone()->OnCommand(id) != app::CommandResult::kUnknown) return;
  if (id == static_cast<int>(app::MenuId::kShowStatusWindow)) window_.ToggleStatusWindow();
}

void ControllerInput::OnButton(int id) {
  if (app::PhoneController* phone = Phone()) phone->OnButton(static_cast<app::ControlId>(id));
}

void ControllerInput::OnIntercom(bool pressed) {
  if (app::PhoneController* phone = Phone()) phone->Intercom(pressed);
}

void ControllerInput::OnSliderReleased(int id, int value) {
  if (app::PhoneController* phone = Phone()) phone->OnSliderReleased(static_cast<app::ControlId>(id), value);
}

void ControllerInput::OnDialTextChanged(std::string_view text) {
  if (app::PhoneController* phone = Phone()) phone->OnDialTextChanged(text);
}

void ControllerInput::OnDialListOpening() {
  if (app::PhoneController* phone = Phone()) phone->OnDialListOpening();
}

void ControllerInput::OnCallKey() {
  if (app::PhoneController* phone = Phone()) phone->CallKey();
}

void ControllerInput::OnEndKey() {
  if (app::PhoneController* phone = Phone()) phone->EndKey();
}

void ControllerInput::OnBackspaceKey() {
  if (app::PhoneController* phone = Phone()) phone->Backspace();
}

void ControllerInput::OnSecondDigit(char digit) {
  if (app::PhoneController* phone = Phone()) phone->SecondDigit(digit);
}

bool ControllerInput::InNormalCall() const { return Phone() != nullptr && Phone()->NormalCall(); }

}  // namespace corvina::ui
