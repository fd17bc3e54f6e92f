#include "ui/controller_input.h"

#include "app/main_view.h"

namespace corvina::ui {

void ControllerInput::OnCommand(int id) {
  if (phone_ != nullptr && phone_->OnCommand(id) != app::CommandResult::kUnknown) return;
  if (id == static_cast<int>(app::MenuId::kShowStatusWindow)) window_.ToggleStatusWindow();
}

void ControllerInput::OnButton(int id) {
  if (phone_ != nullptr) phone_->OnButton(static_cast<app::ControlId>(id));
}

void ControllerInput::OnIntercom(bool pressed) {
  // The controller takes the intercom button's press; its release has no entry before the
  // intercom feature exists.
  if (phone_ != nullptr && pressed) phone_->OnButton(app::ControlId::kIntercom);
}

void ControllerInput::OnSliderReleased(int id, int value) {
  if (phone_ != nullptr) phone_->OnSliderReleased(static_cast<app::ControlId>(id), value);
}

void ControllerInput::OnDialTextChanged(std::string_view text) {
  if (phone_ != nullptr) phone_->OnDialTextChanged(text);
}

void ControllerInput::OnDialListOpening() {
  if (phone_ != nullptr) phone_->OnDialListOpening();
}

void ControllerInput::OnCallKey() {
  if (phone_ != nullptr) phone_->CallKey();
}

void ControllerInput::OnEndKey() {
  if (phone_ != nullptr) phone_->EndKey();
}

void ControllerInput::OnBackspaceKey() {
  if (phone_ != nullptr) phone_->Backspace();
}

void ControllerInput::OnSecondDigit(char digit) {
  if (phone_ != nullptr) phone_->SecondDigit(digit);
}

bool ControllerInput::InNormalCall() const { return phone_ != nullptr && phone_->NormalCall(); }

void ControllerInput::OnDialRequest(const platform::DialRequest& request) {
  if (phone_ != nullptr) phone_->DialFromOutside(request.text, request.line);
}

}  // namespace corvina::ui
