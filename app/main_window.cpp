#include "app/main_window.h"

namespace corvina::app {

MainWindow::MainWindow(ProgramObjects& program, MainView& view)
    : program_(program), view_(view), posts_(program.postbox) {}

MainWindow::~MainWindow() {
  CORVINA_CHECK_THREAD(uiThread_);
  StopPhone();
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

void MainWindow::StartPhone(platform::TimerHost& timers, PhoneObserver* observer) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (phone_) return;
  tonePlayer_ = std::make_unique<media::TonePlayer>(program_.audioDevices, program_.settings, program_.activityLog,
                                                    program_.mediaClock, program_.paths.DataFolder());
  tones_ = std::make_unique<PlayerTones>(*tonePlayer_);
  PhoneWiring wiring = MakePhoneWiring(program_);
  phone_ = std::make_unique<PhoneController>(PhoneControllerParts{
      program_.settings, program_.activityLog, program_.wallClock, program_.tickClock, timers, view_, *tones_,
      std::move(wiring.makeLine), program_.activityLog.Folder(), std::move(wiring.engineDnd),
      std::move(wiring.startEngine), {}, {}, [this] { ToggleStatusWindow(); }, observer});
  phone_->Initialise();
}

void MainWindow::StopPhone() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!phone_) return;
  phone_->Shutdown();
  phone_.reset();
  tones_.reset();
  tonePlayer_.reset();
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
  if (phone_) phone_->RefreshControls();
}

}  // namespace corvina::app
