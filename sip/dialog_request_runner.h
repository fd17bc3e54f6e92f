// The one way the phone runs a request it originates inside a dialog (INVITE, re-INVITE, BYE,
// REFER, NOTIFY, INFO, OPTIONS): sends it, resends it every 500 ms until a provisional response
// (an INVITE then waits in 3000 ms steps), gives up after the caller's limits, answers 401/407
// with digest credentials up to the caller's bound, backs off after 491 and sends again with a
// new CSeq up to the caller's bound, acknowledges an INVITE's final response (non-2xx with the
// INVITE's branch, 2xx as a new transaction unless the caller acknowledges it itself), and hands
// requests that arrive meanwhile to its host. Runs on the dialog holder's thread; every time is
// measured with the endpoint's tick count and every wait goes through the host, so tests drive
// it with a fake clock and a scripted inbox.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "sip/request_composer.h"
#include "sip/shared_dialog.h"
#include "sip/sip_message.h"

namespace corvina::sip {

struct RequestLimits {
  // Both limits count from the first send of the current request; a challenge answered or a
  // back-off sends a new request and starts them again, unless `fromFirstSend` holds: then they
  // count from the run's first send, across back-offs and challenges.
  std::uint32_t withoutProvisionalMs = 3000;  // give up (408) when no provisional came by then
  std::uint32_t withProvisionalMs = 3000;     // give up (408) at this when a provisional came
  std::uint32_t resendMs = 500;               // resend interval until a provisional
  std::uint32_t provisionalStepMs = 3000;     // wait step once a provisional came
  int challenges = 5;                         // 401/407 answered at most this often
  int backOffs = 0;                           // 491 answered with a back-off at most this often
  bool cameIn = false;                        // back-off base: 550 ms (call came in) or 50 ms
  bool ackSuccess = true;                     // false: the caller acknowledges a 2xx itself
  bool fromFirstSend = false;                 // the limits count from the run's first send
};
inline constexpr RequestLimits kNonInviteLimits{};
inline constexpr RequestLimits kReInviteLimits{.withoutProvisionalMs = 5000, .withProvisionalMs = 25000, .backOffs = 5};

enum class RequestOutcome {
  kFinal,        // a final response came (status and response set)
  kTimedOut,     // the limit passed (status 408)
  kDialogEnded,  // a request meanwhile ended the dialog (status 487)
  kStopped,      // the host asked to stop (status 408)
  kUnsent,       // the next hop did not resolve (status 408)
};

struct RequestResult {
  RequestOutcome outcome = RequestOutcome::kTimedOut;
  int status = 408;
  std::unique_ptr<SipMessage> response;  // the final response, when one came
  bool provisional = false;              // a provisional came for the last request sent
  SipRequestOut request;                 // the last request sent (for its ACK, CANCEL or BYE)
};

// What the runner needs from the dialog's holder.
class RequestHost {
 public:
  virtual ~RequestHost() = default;
  // The next message of the dialog, waiting at most `timeoutMs` (0: only looks); returns early,
  // possibly with nothing, when the holder has something to do (a command) or must stop.
  virtual std::unique_ptr<SipMessage> NextMessage(int timeoutMs) = 0;
  // True when the run must end at once (the thread stops, the call is hung up).
  virtual bool StopRequested() = 0;
  // A request of the dialog that arrived meanwhile; false when it ended the dialog.
  virtual bool OnRequest(std::unique_ptr<SipMessage> request) = 0;
  // A provisional response to the request being run.
  virtual void OnProvisional(const SipMessage& /*response*/) {}
  // A response that is not for the request being run (a repeated 2xx of an earlier INVITE).
  virtual void OnOtherResponse(const SipMessage& /*response*/) {}
};

// Composes and sends one request with a fresh CSeq and branch into `request` (which carries the
// authorization to use in); false when the next hop did not resolve. Called again after a 491
// back-off; a challenge resends the same request with credentials and the next CSeq.
using RequestSender = std::function<bool(SipRequestOut& request)>;

class DialogRequestRunner {
 public:
  DialogRequestRunner(SharedDialog& dialog, RequestHost& host) : dialog_(dialog), host_(host) {}

  RequestResult Run(const RequestSender& send, const RequestLimits& limits);

  // The 491 back-off: 550 ms (call came in) or 50 ms, plus `tick` modulo 250.
  static std::uint32_t BackOffMs(bool cameIn, std::uint32_t tick);

 private:
  SharedDialog& dialog_;
  RequestHost& host_;
};

}  // namespace corvina::sip
