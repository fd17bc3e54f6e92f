#include "app/controller/main_window.h"

#include <algorithm>

#include "app/nettest_window.h"
#include "contacts/ini_contact_store.h"
#include "media/system_tones.h"
#include "platform/product_info.h"

namespace corvina::app {

MainWindow::MainWindow(ProgramObjects& program, MainView& view)
    : program_(program), view_(view), calls_(program), posts_(program.postbox) {}

MainWindow::~MainWindow() {
  CORVINA_CHECK_THREAD(uiThread_);
  StopPhone();
  StopSip();
  // No entry reaches the feed after this; `posts_` then cancels the redraws still waiting.
  program_.activityLog.DetachStatusWindow();
}

void MainWindow::StopSip() {
  if (!sipStarted_) return;
  calls_.End();
  // Stopping unregisters; only then do the lines let go of their registrations.
  program_.sipEngine.StopEngine();
  program_.sipEngine.SetObserver(nullptr);
  for (const sip::RegistrationKey& key : lineKeys_) {
    program_.sipEngine.Registrations().Remove(key, program_.tickClock.NowMs());
  }
  sipStarted_ = false;
}

void MainWindow::StartSip() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (sipStarted_) return;
  sipStarted_ = true;
  const std::uint32_t now = program_.tickClock.NowMs();
  for (int line = 1; line <= kLineCount; ++line) {
    lineKeys_[line - 1] = LineRegistration(program_.settings, line);
    program_.sipEngine.Registrations().Add(lineKeys_[line - 1], kLineQ, now);
  }
  program_.sipEngine.SetDoNotDisturb(program_.settings.GetSettingBool("Settings", "DoNotDisturb", false));
  program_.sipEngine.SetObserver(&sipFeed_);
  calls_.Start();
  program_.sipEngine.StartEngine();
}

WaitResult MainWindow::RunNetworkTool() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (networkToolRunning_) return WaitResult::kDone;
  networkToolRunning_ = true;
  const NetworkToolWindowParts parts{program_, view_, posts_, sipStarted_, [this] { StopSip(); },
                                     [this] { StartSip(); }};
  const WaitResult result = RunNetworkToolInWindow(parts);
  networkToolRunning_ = false;
  return result;
}

std::vector<LineRegistrationState> MainWindow::StatesOf(const sip::RegistrationStatus& status) const {
  std::vector<LineRegistrationState> out;
  for (int line = 1; line <= kLineCount; ++line) {
    const sip::RegistrationKey& key = lineKeys_[line - 1];
    if (key.addressOfRecord != status.addressOfRecord || key.server != status.server) continue;
    out.push_back(LineRegistrationState{line, status.addressOfRecord, status.server, status.registers,
                                        status.registered, status.secondsToNextAttempt, status.phase,
                                        status.status, status.reason});
  }
  return out;
}

std::vector<LineRegistrationState> MainWindow::LineRegistrations() {
  std::vector<LineRegistrationState> out;
  if (!sipStarted_) return out;
  for (const sip::RegistrationStatus& status : program_.sipEngine.Registrations().Snapshot(program_.tickClock.NowMs())) {
    for (LineRegistrationState& state : StatesOf(status)) out.push_back(std::move(state));
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.line < b.line; });
  return out;
}

void MainWindow::SipFeed::RegistrationChanged(const sip::RegistrationStatus& status) {
  for (LineRegistrationState& state : owner_.StatesOf(status)) {
    owner_.posts_.Post([owner = &owner_, state = std::move(state)] {
      if (owner->phone_) owner->phone_->OnRegistration(state);
      owner->view_.RegistrationChanged(state);
    });
  }
}

void MainWindow::SipFeed::AddressChanged(const sip::OwnAddresses& addresses) {
  owner_.posts_.Post([view = &owner_.view_, addresses] { view->PublicAddressChanged(addresses); });
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
  // Once a run: the tone files missing from the data folder are written (hold music among them).
  media::EnsureSystemTonesFolder(program_.paths.DataFolder());
  tonePlayer_ = std::make_unique<media::TonePlayer>(program_.audioDevices, program_.settings, program_.activityLog,
                                                    program_.mediaClock, program_.paths.DataFolder());
  tones_ = std::make_unique<PlayerTones>(*tonePlayer_);
  if (!contacts_) {
    contacts_ = contacts::OpenContactStore(program_.settings, program_.paths.DataFolder(), program_.activityLog);
  }
  PhoneWiring wiring = MakePhoneWiring(program_, calls_);
  wiring.startEngine = [this] { StartSip(); };
  phone_ = std::make_unique<PhoneController>(PhoneControllerParts{
      program_.settings, program_.activityLog, program_.wallClock, program_.tickClock, timers, view_, *tones_,
      std::move(wiring.makeLine), program_.activityLog.Folder(), std::move(wiring.engineDnd),
      std::move(wiring.startEngine), {}, {}, [this] { ToggleStatusWindow(); },
      [this] { program_.sipEngine.RequestRebind(); }, observer, &calls_.Audio(), &calls_.Recording(), contacts_.get(),
      platform::ManualFile()});
  phone_->Initialise();
  ApplyHotkeys();
  // The registrations as they stand; their changes follow through the engine's observer.
  for (const LineRegistrationState& state : LineRegistrations()) phone_->OnRegistration(state);
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

void MainWindow::OnHotkey(int id, bool down) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (id == 1) {
    if (down) view_.BringToFront();
    return;
  }
  std::optional<int> k = hotkeys_.PositionOf(id);
  if (k && phone_) phone_->HotkeyIntercom(*k, down);
}

void MainWindow::ApplyHotkeys() {
  CORVINA_CHECK_THREAD(uiThread_);
  hotkeys_.Apply(contacts::HotkeyList(program_.settings).Entries(), view_);
}

void MainWindow::ToggleStatusWindow() {
  CORVINA_CHECK_THREAD(uiThread_);
  bool visible = !program_.settings.GetSettingBool("Settings", "ShowStatus", false);
  program_.settings.SetSettingBool("Settings", "ShowStatus", visible);
  view_.ShowStatusWindow(visible);
  if (phone_) phone_->RefreshControls();
}

}  // namespace corvina::app
