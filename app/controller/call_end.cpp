#include "app/controller/call_end.h"

namespace corvina::app {

void FinishCall(PhoneLog& log, CallTiming& timing, std::string_view remoteAddress, std::string_view remoteName,
                CallEndSteps& steps) {
  log.WritePhoneLog(timing, remoteAddress, remoteName);
  steps.ClearAnsweredAndHold();
  steps.EndOfCall();
  steps.CloseIntercom();
  steps.StopRecording();
  steps.StopPrivateTimer();
  steps.LeaveConference();
  steps.DropConsultPeer();
}

}  // namespace corvina::app
