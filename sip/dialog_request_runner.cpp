#include "sip/dialog_request_runner.h"

#include <algorithm>

#include "sip/request_auth.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

// Milliseconds from `now` until `deadline`, 0 when passed (tick differences, so the wrap is harmless).
std::uint32_t Until(std::uint32_t now, std::uint32_t deadline) {
  const auto left = static_cast<std::int32_t>(deadline - now);
  return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

bool IsChallenge(int status) { return status == 401 || status == 407; }

RequestResult Ended(RequestOutcome outcome, int status, RequestResult& result) {
  result.outcome = outcome;
  result.status = status;
  return std::move(result);
}

// What one wait brought: nothing to act on, the dialog's end, or a response to the running request.
enum class Taken { kNothing, kDialogEnded, kResponse };

// Waits up to `ms` for the next message; requests and other responses go to the host.
Taken TakeOne(RequestHost& host, std::uint32_t ms, const SipRequestOut& running,
              std::unique_ptr<SipMessage>& response) {
  std::unique_ptr<SipMessage> message = host.NextMessage(static_cast<int>(ms));
  if (!message) return Taken::kNothing;
  if (message->IsRequest()) return host.OnRequest(std::move(message)) ? Taken::kNothing : Taken::kDialogEnded;
  if (!ResponseMatchesRequest(*message, running.cseq, running.method)) {
    host.OnOtherResponse(*message);
    return Taken::kNothing;
  }
  response = std::move(message);
  return Taken::kResponse;
}

}  // namespace

std::uint32_t DialogRequestRunner::BackOffMs(bool cameIn, std::uint32_t tick) {
  return (cameIn ? 550u : 50u) + tick % 250u;
}

RequestResult DialogRequestRunner::Run(const RequestSender& send, const RequestLimits& limits) {
  SipEndpoint& endpoint = dialog_.Services().endpoint;
  RequestResult result;
  int challenges = 0;
  int backOffs = 0;
  const std::uint32_t first = endpoint.NowMs();  // the run's first send
  // With limits from the first send: what is left of the limit that applies now.
  const auto runLeft = [&] {
    const std::uint32_t limit = result.provisional ? limits.withProvisionalMs : limits.withoutProvisionalMs;
    return Until(endpoint.NowMs(), first + limit);
  };
  // Each pass sends one request (the first, the answer to a challenge, the one after a back-off)
  // and waits for its final response.
  for (;;) {
    if (host_.StopRequested()) return Ended(RequestOutcome::kStopped, 408, result);
    if (limits.fromFirstSend && challenges + backOffs > 0 && runLeft() == 0) {
      return Ended(RequestOutcome::kTimedOut, 408, result);
    }
    result.provisional = false;
    if (!send(result.request)) return Ended(RequestOutcome::kUnsent, 408, result);
    const SipRequestOut& request = result.request;
    const bool invite = request.method == wire::kInvite;
    const std::uint32_t start = limits.fromFirstSend ? first : endpoint.NowMs();
    std::uint32_t lastSend = endpoint.NowMs();
    std::unique_ptr<SipMessage> response;
    while (!response) {
      if (host_.StopRequested()) return Ended(RequestOutcome::kStopped, 408, result);
      const std::uint32_t now = endpoint.NowMs();
      const std::uint32_t limit = result.provisional ? limits.withProvisionalMs : limits.withoutProvisionalMs;
      const std::uint32_t left = Until(now, start + limit);
      if (left == 0) return Ended(RequestOutcome::kTimedOut, 408, result);
      if (!result.provisional && Until(now, lastSend + limits.resendMs) == 0) {
        Resend(endpoint, request);
        lastSend = now;
      }
      // Before a provisional the wait ends at the next resend; after one an INVITE waits in
      // longer steps. The host's wait returns early on a command or a stop request.
      std::uint32_t wait = !result.provisional ? Until(now, lastSend + limits.resendMs)
                           : invite            ? limits.provisionalStepMs
                                               : limits.resendMs;
      wait = std::max<std::uint32_t>(1, std::min(wait, left));
      const Taken taken = TakeOne(host_, wait, request, response);
      if (taken == Taken::kDialogEnded) return Ended(RequestOutcome::kDialogEnded, 487, result);
      if (response && response->statusCode < 200) {
        result.provisional = true;
        host_.OnProvisional(*response);
        response.reset();
      }
    }
    const int status = response->statusCode;
    const bool success = status >= 200 && status <= 299;
    if (invite && (!success || limits.ackSuccess)) {
      SipRequestOut ack;
      SendAck(endpoint, dialog_.State(), request, *response, {}, ack);
    }
    if (IsChallenge(status) && challenges < limits.challenges &&
        AnswerRequestChallenge(dialog_.State(), result.request, *response, endpoint.Log()) ==
            ChallengeOutcome::kRetry) {
      ++challenges;
      continue;
    }
    if (status == 491 && backOffs < limits.backOffs) {
      ++backOffs;
      std::uint32_t until = endpoint.NowMs() + BackOffMs(limits.cameIn, endpoint.NowMs());
      if (limits.fromFirstSend) until = endpoint.NowMs() + std::min(Until(endpoint.NowMs(), until), runLeft());
      // Requests that arrive meanwhile go to the host; a late repeat of the 491 is dropped.
      for (std::uint32_t left; (left = Until(endpoint.NowMs(), until)) > 0;) {
        if (host_.StopRequested()) return Ended(RequestOutcome::kStopped, 408, result);
        std::unique_ptr<SipMessage> late;
        const Taken taken = TakeOne(host_, std::min(left, limits.resendMs), request, late);
        if (taken == Taken::kDialogEnded) return Ended(RequestOutcome::kDialogEnded, 487, result);
      }
      continue;
    }
    result.response = std::move(response);
    return Ended(RequestOutcome::kFinal, status, result);
  }
}

}  // namespace corvina::sip
