// Carries the window's reports to the phone controller's entries; the status window's command
// goes to the main window object, which owns the pane.
#pragma once

#include <functional>
#include <map>

#include "app/controller/main_window.h"
#include "app/controller/phone_controller.h"
#include "ui/view_input.h"

namespace corvina::ui {

class ControllerInput final : public ViewInput {
 public:
  // The controller is the window's (none before it starts: the window then only toggles its
  // status pane), or `phone` when given.
  explicit ControllerInput(app::MainWindow& window, app::PhoneController* phone = nullptr)
      : window_(window), phone_(phone) {}

  // A menu command the window itself carries out (the address book) instead of the controller.
  void SetWindowCommand(int id, std::function<void()> run) { windowCommands_[id] = std::move(run); }

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
  void OnHotkey(int id, bool down) override { window_.OnHotkey(id, down); }
  bool InNormalCall() const override;
 private:
  app::PhoneController* Phone() const { return phone_ != nullptr ? phone_ : window_.Phone(); }

  app::MainWindow& window_;
  app::PhoneController* phone_;
  std::map<int, std::function<void()>> windowCommands_;
};

}  // namespace corvina::ui
