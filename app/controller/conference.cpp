#include "app/controller/conference.h"

#include "app/controller/phone_texts.h"

namespace corvina::app {

namespace {
const std::string_view kBoxTitle = texts::kConferenceTitle;
}  // namespace

void Conference::Press() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (running_) {
    view_.ShowMessageBox(kBoxTitle, kAlreadyIn);
    return;
  }
  const int line = host_.normalCallLine();
  if (line >= 0 && !host_.answered(line)) {
    view_.ShowMessageBox(kBoxTitle, kWaitForAnswer);
    return;
  }
  if (!exists_) {
    if (line < 0) {
      view_.ShowMessageBox(kBoxTitle, kNeedCall);
      return;
    }
    exists_ = true;
    log_.Log(kStarted, platform::kLogInfo);
    view_.ShowMessageBox(kInviteTitle, kInvite);
  }
  if (audio_) audio_->RouteTo(AudioPlace::Nothing());
  if (line == 0 || line == 1) {
    member_[static_cast<std::size_t>(line)] = true;
    if (audio_) audio_->JoinConference(line);
    host_.releaseCurrent();
  }
  if (audio_) audio_->RouteTo(AudioPlace::Conference());
  running_ = true;
  buttonState_ = 1;
  timers_.KillTimer(timerId_);
  host_.setImage(ButtonImage::kConferenceRunning);
  host_.updateStatus();
  host_.changed();
}

bool Conference::StopAudio() {
  if (!running_) return false;
  // The parties hear silence meanwhile: their calls are not put on hold.
  if (audio_) audio_->RouteTo(AudioPlace::Nothing());
  running_ = false;
  return true;
}

void Conference::Pause() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!running_) return;
  StopAudio();
  if (buttonState_ != 2) {
    buttonState_ = 2;
    blinkLit_ = true;
    timers_.SetTimer(timerId_, kBlinkMs, [this] { Blink(); });
  }
  host_.changed();
}

void Conference::Blink() {
  blinkLit_ = !blinkLit_;
  host_.setImage(blinkLit_ ? ButtonImage::kConferenceRunning : ButtonImage::kConferenceNormal);
  timers_.SetTimer(timerId_, kBlinkMs, [this] { Blink(); });
}

void Conference::End() {
  CORVINA_CHECK_THREAD(uiThread_);
  StopAudio();
  // The state is reset before the calls go: a call that ends at once finds no conference.
  const std::array<bool, 2> members = member_;
  member_ = {};
  exists_ = false;
  buttonState_ = 0;
  timers_.KillTimer(timerId_);
  host_.setImage(ButtonImage::kConferenceNormal);
  for (int line : {0, 1}) {
    if (!members[static_cast<std::size_t>(line)]) continue;
    if (audio_) audio_->LeaveConference(line);
    host_.dropLine(line);
  }
  host_.updateStatus();
  host_.changed();
}

void Conference::Leave(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!IsMember(line)) return;
  member_[static_cast<std::size_t>(line)] = false;
  if (audio_) audio_->LeaveConference(line);
  host_.changed();
}

void Conference::Connected(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (IsMember(line) && audio_) audio_->JoinConference(line);
}

bool Conference::CallEnded(int /*line*/) {
  CORVINA_CHECK_THREAD(uiThread_);
  // Counted with the ended line still in: the local device and one party are all that is left
  // of a two-member conference, so it ends; a three-member one goes on.
  if (!exists_ || Members() > 2) return false;
  End();
  return true;
}

int Conference::Members() const {
  if (!exists_) return 0;
  return 1 + static_cast<int>(member_[0]) + static_cast<int>(member_[1]);
}

}  // namespace corvina::app
