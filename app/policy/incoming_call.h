// What the controller does when a line announces a ring of an incoming call (every ring, the
// first one with ring count 1), decided from what the controller knows of its lines. The
// controller carries the decision out: it sets the line's unanswered flag and brings the
// window forward before asking, then answers or drops an intercom call, rings, lights the
// line's indicator and adds the recent entry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/log_sink.h"
#include "platform/settings.h"

namespace corvina::app {

struct RingFacts {
  bool firstNotice = false;        // ring count 1
  bool intercomCall = false;       // the call layer marked the call as intercom
  std::string_view callerName;     // display name
  std::string_view callerAddress;  // address (the user part: what the recent-call list shows)
  // The From URI's "user@host", which the intercom allow list is matched against (empty: the
  // address above).
  std::string_view callerUserHost = {};
  bool normalCallCurrent = false;  // the current line is valid and not an intercom line
  bool conferenceAudioRunning = false;
  bool indicatorRinging = false;  // the line's indicator already shows ringing
};

enum class IntercomAnswer {
  kNotIntercom,  // an ordinary call: ring
  kAnswer,       // allowed: set the line's intercom flag, clear unanswered, answer automatically
  kRefuse,       // not allowed (logged): leave the conference, clear on-hold, hang up, clear unanswered
};

struct RingDecision {
  IntercomAnswer intercom = IntercomAnswer::kNotIntercom;
  bool playRinging = false;   // play "Ringing" once on the ring device
  bool markRinging = false;   // set the line's indicator to ringing (starts the blinking)
  std::optional<std::string> recentEntry;  // add as a received call
  // When intercom is kNotIntercom the controller then updates its status.
};

// Logs the refusal of an intercom call that is not on the allow list.
RingDecision DecideRing(const platform::Settings& settings, platform::LogSink& log, const RingFacts& facts);

}  // namespace corvina::app
