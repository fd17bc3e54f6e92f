#include "app/main_window.h"

#include <algorithm>

namespace corvina::app {

MainWindow::MainWindow(ProgramObjects& program, MainView& view, platform::UiQueue& ui)
    : program_(program), view_(view), ui_(ui) {}

MainWindow::~MainWindow() {
  if (sipStarted_) {
    // Stopping unregisters; only then do the lines let go of their registrations.
    program_.sipEngine.StopEngine();
    program_.sipEngine.SetObserver(nullptr);
    for (const sip::RegistrationKey& key : lineKeys_) {
      program_.sipEngine.Registrations().Remove(key, program_.tickClock.NowMs());
    }
  }
  program_.activityLog.DetachStatusWindow();
}

void MainWindow::StartSip() {
  if (sipStarted_) return;
  sipStarted_ = true;
  const std::uint32_t now = program_.tickClock.NowMs();
  for (int line = 1; line <= kLineCount; ++line) {
    lineKeys_[line - 1] = LineRegistration(program_.settings, line);
    program_.sipEngine.Registrations().Add(lineKeys_[line - 1], kLineQ, now);
  }
  program_.sipEngine.SetObserver(&sipFeed_);
  program_.sipEngine.StartEngine();
}

std::vector<LineRegistrationState> MainWindow::StatesOf(const sip::RegistrationStatus& status) const {
  std::vector<LineRegistrationState> out;
  for (int line = 1; line <= kLineCount; ++line) {
    const sip::RegistrationKey& key = lineKeys_[line - 1];
    if (key.addressOfRecord != status.addressOfRecord || key.server != status.server) continue;
    out.push_back(LineRegistrationState{line, status.addressOfRecord, status.server, status.registers,
                                        status.registered, status.secondsToNextAttempt});
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
    owner_.ui_.Post([view = &owner_.view_, state = std::move(state)] { view->RegistrationChanged(state); });
  }
}

void MainWindow::SipFeed::AddressChanged(const sip::OwnAddresses& addresses) {
  owner_.ui_.Post([view = &owner_.view_, addresses] { view->PublicAddressChanged(addresses); });
}

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
