// One of the phone's two lines as the controller sees it: the call layer's line with the
// controller's own per-line flags and call times. It passes its line's announcements to the
// controller and supplies the steps that wind a finished call down. User-interface thread.
#pragma once

#include "media/hold_player.h"

#include <cstdint>
#include <memory>
#include <string>

#include "app/controller/call_end.h"
#include "app/controller/call_timing.h"
#include "call/line_control.h"
#include "media/recording_sink.h"

namespace corvina::app {

// What a line reports to its owner; the controller implements it.
class PhoneLineOwner {
 public:
  virtual ~PhoneLineOwner() = default;
  // A change of the line's call state, ring count or applied hold; `previous` is what was
  // announced before.
  virtual void OnLineChanged(int index, const call::LineSnapshot& previous, const call::LineSnapshot& snapshot) = 0;
  // End-of-call handling for the line (indicator, current line, transfer, status, missed call).
  virtual void EndOfCall(int index) = 0;
  // The call has ended: its recording, if any, stops.
  virtual void StopRecording(int index) = 0;
  // The call has ended: the line leaves the conference, if it was in one.
  virtual void LeaveConference(int index) = 0;
  // The call has ended: the line's private (intercom) timer stops.
  virtual void StopPrivateTimer(int /*index*/) {}
  // The call has ended: an intercom line's buffer is released and its intercom flag cleared.
  virtual void CloseIntercom(int index) = 0;
};

class PhoneLine final : public call::LineListener, public CallEndSteps {
 public:
  PhoneLine(PhoneLineOwner& owner, int index, std::unique_ptr<call::LineControl> call);
  ~PhoneLine() override;
  PhoneLine(const PhoneLine&) = delete;
  PhoneLine& operator=(const PhoneLine&) = delete;

  int Index() const { return index_; }
  call::LineControl& Call() { return *call_; }
  // The last announced call state.
  call::CallState State() const { return last_.state; }
  const call::LineSnapshot& Last() const { return last_; }

  // Puts the call on hold (sets the call's hold request, which gives the hold-changed command)
  // and starts counting hold time. False when there is no call to hold.
  bool Hold(std::time_t now);
  void Resume(std::time_t now);
  // Attended transfer: joins this line's call with `other`'s.
  void TransferTo(PhoneLine& other);
  // Takes the line out of any call: clears on-hold, hangs up, clears unanswered.
  void Drop();

  void OnLineChanged(int lineIndex, const call::LineSnapshot& snapshot) override;

  // CallEndSteps.
  void ClearAnsweredAndHold() override;
  void EndOfCall() override { owner_.EndOfCall(index_); }
  void CloseIntercom() override { owner_.CloseIntercom(index_); }
  void StopRecording() override { owner_.StopRecording(index_); }
  void StopPrivateTimer() override { owner_.StopPrivateTimer(index_); }
  void LeaveConference() override { owner_.LeaveConference(index_); }
  void DropConsultPeer() override;

  // The controller's per-line flags.
  bool answered = false;
  bool onHold = false;
  bool recording = false;
  media::RecordingTarget recordingTarget;  // where the running recording goes
  media::HoldSourceKind holdSource = media::HoldSourceKind::kNone;  // what the held party hears
  bool intercom = false;
  // The private timer (an intercom call's 25 s of inactivity): armed, and when it fires (tick
  // clock milliseconds).
  bool privateTimerArmed = false;
  std::uint32_t privateTimerDeadline = 0;
  // The Intercom button has been held for this call: from then on its inactivity counts from
  // the last release, and hearing the far end no longer restarts the private timer.
  bool intercomTalked = false;
  bool unanswered = false;
  PhoneLine* consultPeer = nullptr;
  // The call was handed to a blind transfer and waits for its outcome; its line button takes
  // it back when the call layer refused the target and the call goes on.
  bool transferring = false;
  // The dial-box text this line's call was placed from (empty for an answered call).
  std::string dialledText;
  // The other party of the line's call, kept from its announcements for the phone log and the
  // missed-call entry after the call has gone.
  std::string remoteNumber;
  std::string remoteName;
  std::string digits;  // the touch tones typed in this call, as the display shows them
  CallTiming timing;

 private:
  PhoneLineOwner& owner_;
  int index_;
  std::unique_ptr<call::LineControl> call_;
  call::LineSnapshot last_;
};

}  // namespace corvina::app
