#include "app/main_window.h"

namespace corvina::app {

MainWindow::MainWindow(ProgramObjects& program, MainView& view)
    : program_(program), view_(view), posts_(program.postbox) {}

MainWindow::~MainWindow() {
  CORVINA_CHECK_THREAD(uiThread_);
  // No entry reaches the feed after this; `posts_` then cancels the redraws still waiting.
  program_.activityLog.DetachStatusWindow();
}

void MainWindow::Initialise() {
  CORVINA_CHECK_THREAD(uiThread_);
  program_.activityLog.AttachStatusWindow(&feed_);
  view_.ShowStatusWindow(program_.settings.GetSettingBool("Settings", "ShowStatus", false));
  program_.activityLog.Log(kRunText, platform::kLogInfo);
  if (!program_.store.IsOpen()) {
    program_.activityLog.LogFormat(platform::kLogError, kSettingsUnusableText, program_.store.Path().c_str());
  }
  initialised_ = true;
}

void MainWindow::StatusWindowFeed::AddEntry(std::string_view timeText, std::string_view message,
                                            std::uint8_t level) {
  owner_.status_.AddEntry(timeText, message, level);
  if (redrawWaiting_.exchange(true)) return;
  const bool posted = owner_.posts_.Post([this] {
    redrawWaiting_ = false;
    owner_.view_.StatusWindowChanged();
  });
  if (!posted) redrawWaiting_ = false;
}

void MainWindow::OnHotkey(int id) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (id == 1) view_.BringToFront();
}

void MainWindow::ToggleStatusWindow() {
  CORVINA_CHECK_THREAD(uiThread_);
  bool visible = !program_.settings.GetSettingBool("Settings", "ShowStatus", false);
  program_.settings.SetSettingBool("Settings", "ShowStatus", visible);
  view_.ShowStatusWindow(visible);
}

}  // namespace corvina::app
