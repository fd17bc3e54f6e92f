// Carries the window's reports to the phone controller's entries; the status window's command
// goes to the main window object, which owns the pane.
#pragma once

#include "app/main_window.h"
#include "app/phone_controller.h"
#include "platform/instance_channel.h"
#include "ui/view_input.h"

namespace corvina::ui {

class ControllerInput final : public ViewInput {
 public:
  // `phone` may be null while the program runs without the phone controller: the window then
  // only toggles its status pane.
  ControllerInput(app::MainWindow& window, app::PhoneController* phone) : window_(window), phone_(phone) {}

  void OnCommand(int id) override;
  void OnButton(int id) override;
  void OnIntercom(bool pressed) override;
  void OnSliderReleased(int id, int value) override;
  void OnDialTextChanged(std::string_view text) override;
  void OnDialListOpening() override;
  void OnCallKey() override;
  void OnEndKey() override;
  void OnBackspaceKey() override;
  void OnSecondDigit(char digit) override;
  bool InNormalCall() const override;
  // A dial request from the command line or a later start (range-checked by the controller).
  void OnDialRequest(const platform::DialRequest& request);

 private:
  app::MainWindow& window_;
  app::PhoneController* phone_;
};

}  // namespace corvina::ui
