// The controller's intercom: the Intercom button's press and release, the private timer that
// ends an intercom call after 25 s without use, and what connect does for an intercom line.
// The microphone reaches an intercom line only while the button is held for it (or after its
// line button made it a normal call); what the line receives meanwhile is kept in its buffer
// and played while the speaker is free. User-interface thread.
#include "app/controller/dial_text.h"
#include "app/controller/phone_controller.h"
#include "app/controller/phone_texts.h"
#include "platform/text.h"

namespace corvina::app {

void PhoneController::Intercom(bool pressed) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!HasLines()) return;
  if (!pressed) {
    intercomHeld_ = false;
    if (!ValidLine(current_) || !Line(current_).intercom) return;
    const int n = current_;
    StopLocalAudio();
    current_ = kNoLine;
    // Inactivity counts from the release.
    if (Line(n).Call().IsBusy()) ArmPrivateTimer(n);
    UpdateStatus();
    return;
  }
  const int n = IntercomLineFor(DialNumberFromText(CutToField(dialText_)));
  if (n == kNoLine) return;
  if (n != current_) Suspend();
  current_ = n;
  intercomHeld_ = true;
  Line(n).intercomTalked = true;
  // While the button is held the line is in use: its timer waits for the release.
  StopPrivateTimer(n);
  if (Line(n).State() == call::CallState::kConnected) {
    parts_.tones.StopTone();
    StartLocalAudio(n);
  }
  SetIndicator(n, LineIndicator::kActive);
  UpdateStatus();
}

int PhoneController::IntercomLineFor(const std::string& number) {
  int found = kNoLine, count = 0;
  for (int i = 0; i < 2; ++i) {
    const PhoneLine& line = Line(i);
    if (!line.intercom || !lines_[static_cast<std::size_t>(i)]->Call().IsBusy()) continue;
    // With an empty dial box the press talks back on the one intercom line there is. A call
    // placed from the box is found by what was dialled (its announcements name only the user
    // part of the far end); an answered one by that user part.
    if (number.empty() || platform::EqualsIgnoreCase(line.remoteNumber, number) ||
        platform::EqualsIgnoreCase(DialNumberFromText(CutToField(line.dialledText)), number)) {
      found = i, ++count;
    }
  }
  if (number.empty()) return count == 1 ? found : kNoLine;
  if (found != kNoLine) return found;
  // Only idle lines are tried; nothing else changes unless one of them takes the call.
  for (int i = 0; i < 2; ++i) {
    PhoneLine& line = Line(i);
    if (line.Call().IsBusy() || !line.Call().MakeCallAs(number, {}, true)) continue;
    line.intercom = true;
    line.unanswered = false;
    line.dialledText = dialText_;
    line.remoteNumber = line.remoteName = number;
    return i;
  }
  PlayTone(texts::kBusyTone, false, false);
  return kNoLine;
}

void PhoneController::OnIntercomConnected(int n) {
  // What the line receives while it is not live waits in its buffer for a free speaker.
  if (parts_.audio) parts_.audio->StartIntercomBuffer(n);
  if (intercomHeld_ && n == current_) {
    parts_.tones.StopTone();
    StartLocalAudio(n);
  } else if (!Line(n).privateTimerArmed) {
    // An auto-answered incoming intercom call (or one whose button is no longer held) ends
    // by itself 25 s after connect unless it is used.
    ArmPrivateTimer(n);
  }
  UpdateStatus();
}

void PhoneController::ArmPrivateTimer(int n) {
  PhoneLine& line = Line(n);
  line.privateTimerArmed = true;
  line.privateTimerDeadline = parts_.tickClock.NowMs() + kPrivateTimerMs;
  parts_.timers.SetTimer(kPrivateTimerBase + n, kPrivateTimerMs, [this, n] {
    StopPrivateTimer(n);
    if (!HasLines()) return;
    // A message still waiting for the speaker, or still playing out a backlog, is not cut off:
    // the wait starts again. (A line heard as it comes keeps less than that in its buffer.)
    if (IntercomBufferedMs(n) > kIntercomBacklogMs) {
      ArmPrivateTimer(n);
      return;
    }
    Line(n).Drop();
  });
}

void PhoneController::OnIntercomPlayed(int n) {
  CORVINA_CHECK_THREAD(uiThread_);
  // An answered call that has only listened stays while it plays: its inactivity counts from
  // the end of what it plays. Once the button was held for it, only the release counts.
  if (HasLines() && ValidLine(n) && Line(n).intercom && !Line(n).intercomTalked && Line(n).privateTimerArmed) {
    ArmPrivateTimer(n);
  }
}

std::uint64_t PhoneController::IntercomBufferedMs(int n) const {
  return parts_.audio && ValidLine(n) ? parts_.audio->IntercomBufferedMs(n) : 0;
}

void PhoneController::CloseIntercom(int n) {
  PhoneLine& line = Line(n);
  if (line.intercom && parts_.audio) parts_.audio->StopIntercomBuffer(n);
  line.intercom = line.intercomTalked = false;
}

void PhoneController::LeaveIntercom(int n) {
  StopPrivateTimer(n);
  // The call becomes a normal one, heard live from now on: what its buffer still held goes.
  if (parts_.audio) parts_.audio->StopIntercomBuffer(n);
  Line(n).intercom = Line(n).intercomTalked = false;
}

void PhoneController::StopPrivateTimer(int n) {
  parts_.timers.KillTimer(kPrivateTimerBase + n);
  if (HasLines()) Line(n).privateTimerArmed = false;
}

std::int64_t PhoneController::PrivateTimerLeftMs(int n) const {
  const PhoneLine& line = *lines_[static_cast<std::size_t>(n)];
  if (!line.privateTimerArmed) return -1;
  const auto left = static_cast<std::int32_t>(line.privateTimerDeadline - parts_.tickClock.NowMs());
  return left < 0 ? 0 : left;
}

}  // namespace corvina::app
