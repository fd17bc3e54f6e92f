#include "app/policy/incoming_call.h"

#include "app/controller/dial_text.h"
#include "app/policy/intercom_allow.h"
#include "app/controller/phone_texts.h"

namespace corvina::app {

RingDecision DecideRing(const platform::Settings& settings, platform::LogSink& log, const RingFacts& facts) {
  RingDecision decision;
  if (facts.intercomCall) {
    const std::string_view who = facts.callerUserHost.empty() ? facts.callerAddress : facts.callerUserHost;
    if (IsIntercomAllowed(settings, who)) {
      decision.intercom = IntercomAnswer::kAnswer;
    } else {
      log.Log(texts::kIntercomRefused, platform::kLogIntercomRefused);
      decision.intercom = IntercomAnswer::kRefuse;
    }
    return decision;
  }
  // Each announcement rings once, so the ringing follows the call layer's ring rhythm; a call
  // in progress is not disturbed by it.
  decision.playRinging = !facts.normalCallCurrent && !facts.conferenceAudioRunning;
  if (facts.firstNotice) {
    decision.markRinging = !facts.indicatorRinging;
    decision.recentEntry = ReceivedCallText(facts.callerName, facts.callerAddress);
  }
  return decision;
}

}  // namespace corvina::app
