// What happens when a line's call has ended: its phone-log row is written first, then the
// line is wound down in a fixed order. The controller's line supplies the steps.
#pragma once

#include <string_view>

#include "app/controller/call_timing.h"
#include "app/logs/phone_log.h"

namespace corvina::app {

class CallEndSteps {
 public:
  virtual ~CallEndSteps() = default;
  virtual void ClearAnsweredAndHold() = 0;
  // The controller's end-of-call handling (indicator, audio, transfer, conference, status,
  // missed call).
  virtual void EndOfCall() = 0;
  // When the line carried an intercom call: close its intercom buffer and clear the flag.
  virtual void CloseIntercom() = 0;
  virtual void StopRecording() = 0;
  virtual void StopPrivateTimer() = 0;
  virtual void LeaveConference() = 0;
  // When the line has a consult peer: take the peer out of the conference, clear its on-hold
  // flag, hang its call up, clear its unanswered flag and drop the link.
  virtual void DropConsultPeer() = 0;
};

// Writes the call's row to `log` (clearing `timing`), then runs the steps in the order above.
void FinishCall(PhoneLog& log, CallTiming& timing, std::string_view remoteAddress, std::string_view remoteName,
                CallEndSteps& steps);

}  // namespace corvina::app
