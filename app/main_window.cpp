#include "app/main_window.h"

namespace corvina::app {

MainWindow::MainWindow(ProgramObjects& program, MainView& view, platform::UiQueue& ui)
    : program_(program), view_(view), ui_(ui) {}

MainWindow::~MainWindow() { program_.activityLog.DetachStatusWindow(); }

void MainWindow::Initialise() {
  program_.activityLog.AttachStatusWindow(&feed_);
  view_.ShowStatusPane(program_.settings.GetSettingBool("Settings", "ShowStatus", false));
  program_.activityLog.Log(kRunText, platform::kLogInfo);
  initialised_ = true;
}

void MainWindow::StatusFeed::AddEntry(std::string_view timeText, std::string_view message, std::uint8_t level) {
  owner_.status_.AddEntry(timeText, message, level);
  owner_.ui_.Post([view = &owner_.view_] { view->StatusEntriesChanged(); });
}

void MainWindow::OnHotkey(int id) {
  if (id == 1) view_.BringToFront();
}

void MainWindow::ToggleStatusWindow() {
  bool visible = !program_.settings.GetSettingBool("Settings", "ShowStatus", false);
  program_.settings.SetSettingBool("Settings", "ShowStatus", visible);
  view_.ShowStatusPane(visible);
}

}  // namespace corvina::app
