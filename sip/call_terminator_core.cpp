#include "sip/call_terminator_core.h"

#include <algorithm>

#include "sip/digest.h"
#include "sip/request_auth.h"
#include "sip/response_composer.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

bool IsProvisional(const SipMessage& response) { return response.statusCode >= 100 && response.statusCode <= 199; }

bool IsSuccess(const SipMessage& response) { return response.statusCode >= 200 && response.statusCode <= 299; }

// Sends the BYE that ends the dialog (no credentials, next CSeq, new branch) and starts its
// retransmission schedule.
void StartBye(TerminationRecord& r, std::uint32_t now) {
  SipEndpoint& endpoint = r.dialog->Services().endpoint;
  ComposeByeWithoutCredentials(endpoint, r.dialog->State(), r.bye);
  Resend(endpoint, r.bye);
  r.byePending = true;
  r.byeTimer = {now, kFirstResendIntervalMs};
}

// Sends `request` again when its interval has (nearly) passed, doubling the interval; lowers
// the cycle's wait to the time left until the next send.
void ResendIfDue(SipEndpoint& endpoint, const SipRequestOut& request, Retransmission& timer, std::uint32_t now,
                 TerminatorCycle& cycle) {
  auto remaining = static_cast<std::int32_t>(timer.lastSentMs + timer.intervalMs - now);
  if (remaining <= static_cast<std::int32_t>(kNearlyDueMs)) {
    Resend(endpoint, request);
    timer.lastSentMs = now;
    timer.intervalMs *= 2;
    remaining = static_cast<std::int32_t>(timer.intervalMs);
  }
  cycle.waitMs = std::min(cycle.waitMs, static_cast<int>(remaining));
}

}  // namespace

TerminationRecord StartTermination(DialogRef dialog, std::optional<PendingInvite> pending, std::uint32_t now) {
  TerminationRecord r;
  r.dialog = std::move(dialog);
  r.startMs = now;
  Dialog& state = r.dialog->State();
  SipEndpoint& endpoint = r.dialog->Services().endpoint;
  if (state.established) {
    StartBye(r, now);
  } else if (pending) {
    r.invitePending = true;
    r.cancelPending = true;
    r.invite = std::move(pending->invite);
    ComposeCancel(endpoint, state, r.invite, r.cancel);
    r.cancelTimer = {now, kFirstResendIntervalMs};
    if (pending->provisionalSeen) {
      Resend(endpoint, r.cancel);
      r.cancelSent = true;
    }
  }
  return r;
}

void TerminatorCore::Add(TerminationRecord record) {
  CORVINA_CHECK_THREAD(thread_);
  records_.push_front(std::move(record));
  if (records_.size() > kMaxTerminationRecords) Expire(records_.end() - 1);
}

TerminatorCycle TerminatorCore::RunCycle(std::uint32_t now) {
  CORVINA_CHECK_THREAD(thread_);
  TerminatorCycle cycle;
  for (auto it = records_.begin(); it != records_.end();) {
    TerminationRecord& r = *it;
    while (std::unique_ptr<SipMessage> message = r.dialog->TakeNext()) HandleMessage(r, *message, now);
    Retransmit(r, now, cycle);
    const std::uint32_t age = now - r.startMs;
    if (age > kRecordLifetimeMs) {
      it = Expire(it);
      continue;
    }
    // Waking at the expiry keeps the list bounded even when nothing else happens.
    cycle.waitMs = std::min(cycle.waitMs, static_cast<int>(kRecordLifetimeMs + 1 - age));
    if (cycle.events.size() < kMaxWatchedDialogs) cycle.events.push_back(&r.dialog->MessageEvent());
    ++it;
  }
  cycle.poll = cycle.events.size() > kMostEventsWithoutPolling;
  return cycle;
}

void TerminatorCore::HandleMessage(TerminationRecord& r, const SipMessage& message, std::uint32_t now) {
  SipEndpoint& endpoint = r.dialog->Services().endpoint;
  Dialog& state = r.dialog->State();
  if (message.IsRequest()) {
    ResponseOptions tagged{.toTag = state.localTag};
    if (message.method == wire::kBye) {
      SendResponse(endpoint, message, 200, wire::kReasonOk, tagged);
      state.established = false;
      r.byePending = false;
    } else if (message.method == wire::kCancel) {
      SendResponse(endpoint, message, 200, wire::kReasonOk, tagged);
    } else if (message.method != wire::kAck) {
      SendResponse(endpoint, message, 487, wire::kReasonRequestTerminated, tagged);
    }
    return;
  }
  if (r.invitePending && ResponseMatchesRequest(message, r.invite.cseq, wire::kInvite)) {
    if (IsProvisional(message)) {
      if (r.cancelPending && !r.cancelSent) {
        Resend(endpoint, r.cancel);
        r.cancelSent = true;
        r.cancelTimer = {now, kFirstResendIntervalMs};
      }
      return;
    }
    // The far end's dialog is named by the 2xx: its tag, target and route set go into the
    // ACK and the BYE.
    const bool success = IsSuccess(message);
    if (success) ApplyInviteSuccess(state, message);
    SipRequestOut ack;
    SendAck(endpoint, state, r.invite, message, {}, ack);
    r.invitePending = false;
    r.cancelPending = false;
    if (success || state.established) StartBye(r, now);
    return;
  }
  if (r.byePending && ResponseMatchesRequest(message, r.bye.cseq, wire::kBye)) HandleByeResponse(r, message, now);
}

void TerminatorCore::HandleByeResponse(TerminationRecord& r, const SipMessage& response, std::uint32_t now) {
  SipEndpoint& endpoint = r.dialog->Services().endpoint;
  Dialog& state = r.dialog->State();
  if (response.statusCode == 491) {
    // Rebuilt now, sent when its interval falls due.
    ComposeByeWithoutCredentials(endpoint, state, r.bye);
    r.byeTimer = {now, kFirstResendIntervalMs};
    return;
  }
  if (response.statusCode == 401 || response.statusCode == 407) {
    // Credentials already went out: only a stale nonce earns another try, or a server that
    // keeps challenging would be answered for ever.
    if (!r.bye.authorization.empty()) {
      DigestChallenge challenge;
      std::string_view value = response.FindHeader(response.statusCode == 401 ? kWwwAuthenticate : kProxyAuthenticate);
      if (!ParseDigestChallenge(value, challenge) || !challenge.stale) {
        r.byePending = false;
        return;
      }
    }
    if (AnswerRequestChallenge(state, r.bye, response, endpoint.Log()) == ChallengeOutcome::kRetry) {
      SendBye(endpoint, state, r.bye);
      r.byeTimer = {now, kFirstResendIntervalMs};
      return;
    }
  }
  r.byePending = false;
}

void TerminatorCore::Retransmit(TerminationRecord& r, std::uint32_t now, TerminatorCycle& cycle) {
  SipEndpoint& endpoint = r.dialog->Services().endpoint;
  const std::uint32_t age = now - r.startMs;
  if (r.cancelPending && r.cancelSent) {
    if (age < kCancelGiveUpMs) {
      ResendIfDue(endpoint, r.cancel, r.cancelTimer, now, cycle);
      cycle.waitMs = std::min(cycle.waitMs, static_cast<int>(kCancelGiveUpMs - age));
    } else {
      r.cancelPending = false;
      StartBye(r, now);
    }
  }
  if (r.byePending) {
    if (age <= kByeGiveUpMs) {
      ResendIfDue(endpoint, r.bye, r.byeTimer, now, cycle);
      cycle.waitMs = std::min(cycle.waitMs, static_cast<int>(kByeGiveUpMs + 1 - age));
    } else {
      r.byePending = false;
    }
  }
  if ((r.cancelPending && r.cancelSent) || r.byePending) cycle.idle = false;
}

std::deque<TerminationRecord>::iterator TerminatorCore::Expire(std::deque<TerminationRecord>::iterator it) {
  dialogs_.Remove(it->dialog.get());
  return records_.erase(it);
}

}  // namespace corvina::sip
