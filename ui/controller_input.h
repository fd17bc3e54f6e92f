// Carries the window's reports to the phone controller's entries.
#pragma once

#include "app/main_window.h"
#include "platform/instance_channel.h"
#include "ui/view_input.h"

namespace corvina::ui {

class ControllerInput final : public ViewInput {
 public:
  explicit ControllerInput(app::MainWindow& window) : window_(window) {}

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
  // A dial request from the command line or a later start.
  void OnDialRequest(const platform::DialRequest& request);

 private:
  app::MainWindow& window_;
};

}  // namespace corvina::ui
