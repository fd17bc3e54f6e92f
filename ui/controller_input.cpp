#include "ui/controller_input.h"

#include "app/main_view.h"

namespace corvina::ui {

void ControllerInput::OnCommand(int id) {
  if (id == static_cast<int>(app::MenuId::kShowStatusWindow)) window_.ToggleStatusWindow();
}

void ControllerInput::OnButton(int) {}
void ControllerInput::OnIntercom(bool) {}
void ControllerInput::OnSliderReleased(int, int) {}
void ControllerInput::OnDialTextChanged(std::string_view) {}
void ControllerInput::OnDialListOpening() {}
void ControllerInput::OnCallKey() {}
void ControllerInput::OnEndKey() {}
void ControllerInput::OnBackspaceKey() {}
void ControllerInput::OnSecondDigit(char) {}
bool ControllerInput::InNormalCall() const { return false; }
void ControllerInput::OnDialRequest(const platform::DialRequest&) {}

}  // namespace corvina::ui
