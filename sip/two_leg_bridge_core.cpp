#include "sip/two_leg_bridge_core.h"

#include <algorithm>
#include <utility>

#include "sip/dialog_request_runner.h"
#include "sip/dialog_requests.h"
#include "sip/name_addr.h"
#include "sip/replaces.h"
#include "sip/request_auth.h"
#include "sip/response_composer.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

constexpr std::string_view kReasonMethodNotAllowed = "Method Not Allowed";
constexpr std::string_view kReasonRequestTimeout = "Request Timeout";

std::uint32_t Since(std::uint32_t now, std::uint32_t then) { return now - then; }
std::uint32_t Until(std::uint32_t now, std::uint32_t deadline) {
  const auto left = static_cast<std::int32_t>(deadline - now);
  return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}
BridgeStep WaitOn(std::uint32_t ms, bool a, bool b) {
  return BridgeStep{.waitMs = static_cast<int>(std::max<std::uint32_t>(ms, 1)), .watch = {a, b}};
}
bool IsChallenge(int status) { return status == 401 || status == 407; }

}  // namespace

TwoLegBridgeCore::TwoLegBridgeCore(DialogList& dialogs, DialogRef a, DialogRef b, std::uint32_t now)
    : dialogs_(dialogs), legs_{std::move(a), std::move(b)}, quietSince_(now) {
  thread_.Detach();
}

platform::Event* TwoLegBridgeCore::MessageEvent(int i) const {
  const DialogRef& leg = Leg(i);
  return leg ? &leg->MessageEvent() : nullptr;
}

std::vector<DialogRef> TwoLegBridgeCore::TakeReplaced() {
  CORVINA_CHECK_THREAD(thread_);
  return std::exchange(replaced_, {});
}

BridgeStep TwoLegBridgeCore::Step(std::uint32_t now) {
  CORVINA_CHECK_THREAD(thread_);
  if (!adopted_) {
    // The legs' own SDP offers belonged to the calls that held them; the bridge relays OPTIONS
    // instead, and answers one it cannot relay without a body.
    adopted_ = true;
    for (const DialogRef& leg : legs_) leg->SetOfferSource({});
  }
  for (;;) {
    Wait wait;
    switch (phase_) {
      case Phase::kIdle: wait = StepIdle(now); break;
      case Phase::kRelayInvite:
      case Phase::kRelayOptions: wait = StepRelay(now); break;
      case Phase::kBackOff: wait = StepBackOff(now); break;
      case Phase::kAwaitAck: wait = StepAwaitAck(now); break;
      case Phase::kProbe: wait = StepProbe(now); break;
      case Phase::kEnded: return BridgeStep{.ended = true};
    }
    if (wait) return *wait;
  }
}

void TwoLegBridgeCore::Begin(int x, std::uint32_t now, std::unique_ptr<SipMessage> request) {
  ex_ = Exchange{};
  ex_.x = x;
  ex_.request = std::move(request);
  ex_.start = ex_.lastSend = now;
}

TwoLegBridgeCore::Wait TwoLegBridgeCore::Idle(std::uint32_t now) {
  phase_ = Phase::kIdle;
  ex_ = Exchange{};
  quietSince_ = now;
  return std::nullopt;
}

// ---- Nothing under way: either leg's next request, or the liveness check when both are quiet.

TwoLegBridgeCore::Wait TwoLegBridgeCore::StepIdle(std::uint32_t now) {
  for (int i = 0; i < 2; ++i) {
    if (!Leg(i) || !L(i).State().established) {
      phase_ = Phase::kEnded;
      return std::nullopt;
    }
  }
  for (int i = 0; i < 2; ++i) {
    // Responses here are late ones to finished exchanges; only requests matter.
    while (std::unique_ptr<SipMessage> m = L(i).TakeNext()) {
      quietSince_ = now;
      if (m->IsRequest()) {
        OnIdleRequest(i, std::move(m), now);
        return std::nullopt;
      }
    }
  }
  if (Since(now, quietSince_) >= kBridgeQuietMs) {
    StartProbe(0, now);
    return std::nullopt;
  }
  return WaitOn(Until(now, quietSince_ + kBridgeQuietMs), true, true);
}

void TwoLegBridgeCore::OnIdleRequest(int i, std::unique_ptr<SipMessage> request, std::uint32_t now) {
  SipEndpoint& endpoint = L(i).Services().endpoint;
  const std::string_view method = request->method;
  if (method == wire::kInvite) {
    // An INVITE that takes a leg over must name that leg exactly (Call-ID and both tags).
    const std::string_view replaces = request->FindHeader(kReplaces);
    if (!replaces.empty() && !ReplacesNames(replaces, L(i).State())) {
      SendResponse(endpoint, *request, 481, wire::kReasonNoSuchCall);
      return;
    }
    StartRelay(i, std::move(request), Phase::kRelayInvite, now);
    return;
  }
  if (method == wire::kOptions) {
    StartRelay(i, std::move(request), Phase::kRelayOptions, now);
    return;
  }
  AnswerAside(i, *request);
}

bool TwoLegBridgeCore::AnswerAside(int i, const SipMessage& request) {
  if (request.method == wire::kRefer) {
    SendResponse(L(i).Services().endpoint, request, 405, kReasonMethodNotAllowed,
                 ResponseOptions{.toTag = L(i).State().localTag});
    return true;
  }
  return AnswerInDialogRequest(L(i), request);
}

// ---- Relaying X's re-INVITE or OPTIONS to Y.

void TwoLegBridgeCore::StartRelay(int x, std::unique_ptr<SipMessage> request, Phase phase, std::uint32_t now) {
  Begin(x, now, std::move(request));
  phase_ = phase;
  if (!SendRelayed(now)) FailRelay();
}

bool TwoLegBridgeCore::SendRelayed(std::uint32_t now) {
  SharedDialog& y = L(1 - ex_.x);
  SipEndpoint& endpoint = y.Services().endpoint;
  ex_.provisional = false;
  ex_.start = ex_.lastSend = now;
  if (phase_ == Phase::kRelayOptions) return SendOptions(endpoint, y.State(), ex_.out);
  const std::string offer(ex_.request->FindBody(wire::kSdpType));
  return SendInvite(endpoint, y.State(), ex_.out, InviteOptions{.sdp = offer});
}

TwoLegBridgeCore::Wait TwoLegBridgeCore::StepRelay(std::uint32_t now) {
  const int y = 1 - ex_.x;
  SipEndpoint& endpoint = L(y).Services().endpoint;
  while (std::unique_ptr<SipMessage> m = L(y).TakeNext()) {
    if (m->IsRequest()) {
      if (!AnswerAside(y, *m)) {  // Y left meanwhile
        RelayFinal(nullptr, now);
        return std::nullopt;
      }
      continue;
    }
    if (!ResponseMatchesRequest(*m, ex_.out.cseq, ex_.out.method)) continue;
    if (m->statusCode < 200) {
      ex_.provisional = true;
      continue;
    }
    RelayFinal(std::move(m), now);
    return std::nullopt;
  }
  const bool invite = phase_ == Phase::kRelayInvite;
  const std::uint32_t limit = !invite            ? kRelayOptionsGiveUpMs
                              : ex_.provisional ? kRelayInviteProvisionalGiveUpMs
                                                : kRelayInviteGiveUpMs;
  if (Since(now, ex_.start) >= limit) {
    RelayFinal(nullptr, now);
    return std::nullopt;
  }
  if (!ex_.provisional && Since(now, ex_.lastSend) >= kBridgeResendMs) {
    Resend(endpoint, ex_.out);
    ex_.lastSend = now;
  }
  std::uint32_t wait = Until(now, ex_.start + limit);
  if (!ex_.provisional) wait = std::min(wait, Until(now, ex_.lastSend + kBridgeResendMs));
  return WaitOn(wait, y == 0, y == 1);
}

// Y's final response, or nothing when Y gave none (time-out, or Y ended its dialog).
void TwoLegBridgeCore::RelayFinal(std::unique_ptr<SipMessage> response, std::uint32_t now) {
  SharedDialog& x = L(ex_.x);
  SharedDialog& y = L(1 - ex_.x);
  SipEndpoint& endpoint = y.Services().endpoint;
  const int status = response ? response->statusCode : (y.State().established ? 408 : 487);
  if (phase_ == Phase::kRelayOptions) {
    ResponseOptions options{.toTag = x.State().localTag};
    std::string sdp;
    if (status >= 200 && status <= 299) {
      sdp = std::string(response->FindBody(wire::kSdpType));
      if (!sdp.empty()) options.bodyType = wire::kSdpType, options.body = sdp;
    }
    std::string_view reason = status == 487 ? wire::kReasonRequestTerminated : kReasonRequestTimeout;
    if (response) reason = status == 200 ? wire::kReasonOk : std::string_view(response->reason);
    SendResponse(endpoint, *ex_.request, status, reason, options);
    Idle(now);
    return;
  }
  const bool success = status >= 200 && status <= 299;
  if (response && !success) {
    SipRequestOut ack;
    SendAck(endpoint, y.State(), ex_.out, *response, {}, ack);
  }
  if (response && IsChallenge(status) && ex_.challenges < kRelayChallenges &&
      AnswerRequestChallenge(y.State(), ex_.out, *response, endpoint.Log()) == ChallengeOutcome::kRetry) {
    ++ex_.challenges;
    if (!SendRelayed(now)) FailRelay();  // with the credentials the challenge asked for
    return;
  }
  if (status == 491 && ex_.backOffs < kRelayBackOffs) {
    ++ex_.backOffs;
    const bool cameIn = !y.State().receivedInviteCSeq.empty();
    ex_.until = now + DialogRequestRunner::BackOffMs(cameIn, now);
    phase_ = Phase::kBackOff;
    return;
  }
  if (!success) {
    FailRelay();
    return;
  }
  ApplyInviteSuccess(y.State(), *response);
  ex_.yAnswer = std::move(response);
  ex_.yInvite = ex_.out;
  RelaySucceeded(now);
}

TwoLegBridgeCore::Wait TwoLegBridgeCore::StepBackOff(std::uint32_t now) {
  const int y = 1 - ex_.x;
  while (std::unique_ptr<SipMessage> m = L(y).TakeNext()) {
    if (m->IsRequest() && !AnswerAside(y, *m)) {
      FailRelay();
      return std::nullopt;
    }
  }
  // The wait ends when 10 ms or less remain.
  const std::uint32_t left = Until(now, ex_.until);
  if (left <= 10) {
    phase_ = Phase::kRelayInvite;
    if (!SendRelayed(now)) FailRelay();
    return std::nullopt;
  }
  return WaitOn(left - 10, y == 0, y == 1);
}

void TwoLegBridgeCore::FailRelay() {
  SharedDialog& x = L(ex_.x);
  SendResponse(x.Services().endpoint, *ex_.request, 408, kReasonRequestTimeout,
               ResponseOptions{.toTag = x.State().localTag});
  phase_ = Phase::kEnded;
}

// Y accepted: X (or the dialog that replaces it) gets Y's answer in a 200, resent until its ACK.
void TwoLegBridgeCore::RelaySucceeded(std::uint32_t now) {
  const SipMessage& invite = *ex_.request;
  SipEndpoint& endpoint = L(ex_.x).Services().endpoint;
  if (!invite.FindHeader(kReplaces).empty()) {
    const Dialog& old = L(ex_.x).State();
    Dialog fresh = NewIncomingDialog(endpoint, invite);
    fresh.localUser = old.localUser;
    fresh.authorizationUser = old.authorizationUser;
    fresh.password = old.password;
    fresh.established = true;
    DialogRef leg = SharedDialog::Create(L(ex_.x).Services(), std::move(fresh));
    dialogs_.Add(leg, 0);
    replaced_.push_back(std::exchange(legs_[static_cast<std::size_t>(ex_.x)], std::move(leg)));
  } else if (std::string_view contact = invite.FindHeader(kContact); !contact.empty()) {
    L(ex_.x).State().remoteTarget = ParseNameAddr(contact).uri;
  }
  const Dialog& x = L(ex_.x).State();
  const std::string contact = OwnContact(endpoint.Addresses(), x.localUser, invite.source);
  const std::string sdp(ex_.yAnswer->FindBody(wire::kSdpType));
  ResponseOptions options{.toTag = x.localTag, .contact = contact};
  if (!sdp.empty()) options.bodyType = wire::kSdpType, options.body = sdp;
  ex_.answerText = ComposeResponse(invite, 200, wire::kReasonOk, options);
  ex_.answerTo = invite.source;
  endpoint.Send(ex_.answerTo, ex_.answerText);
  endpoint.RecordSent(invite, ex_.answerTo, ex_.answerText);
  ex_.start = ex_.lastSend = now;
  phase_ = Phase::kAwaitAck;
}

void TwoLegBridgeCore::AckY(std::string_view sdp) {
  SharedDialog& y = L(1 - ex_.x);
  SipRequestOut ack;
  SendAck(y.Services().endpoint, y.State(), ex_.yInvite, *ex_.yAnswer, sdp, ack);
}

TwoLegBridgeCore::Wait TwoLegBridgeCore::StepAwaitAck(std::uint32_t now) {
  const int x = ex_.x;
  while (std::unique_ptr<SipMessage> m = L(x).TakeNext()) {
    if (!m->IsRequest()) continue;
    if (m->method == wire::kAck) {
      AckY(m->FindBody(wire::kSdpType));
      return Idle(now);
    }
    if (!AnswerAside(x, *m)) {  // X hung up before acknowledging
      AckY({});
      phase_ = Phase::kEnded;
      return std::nullopt;
    }
  }
  if (Since(now, ex_.start) >= kAnswerGiveUpMs) {
    AckY({});
    phase_ = Phase::kEnded;
    return std::nullopt;
  }
  if (Since(now, ex_.lastSend) >= kAnswerResendMs) {
    L(x).Services().endpoint.Send(ex_.answerTo, ex_.answerText);
    ex_.lastSend = now;
  }
  const std::uint32_t wait =
      std::min(Until(now, ex_.start + kAnswerGiveUpMs), Until(now, ex_.lastSend + kAnswerResendMs));
  return WaitOn(wait, x == 0, x == 1);
}

// ---- Liveness: INFO every 750 ms, OPTIONS instead from 3 s on, dead after 6 s without answer.

void TwoLegBridgeCore::StartProbe(int leg, std::uint32_t now) {
  // Devices that mishandle the probe (quirk bit 0) count as alive unprobed.
  if (L(leg).State().quirks & kQuirkGigaset) {
    Begin(leg, now);
    EndProbe(true, now);
    return;
  }
  Begin(leg, now);
  phase_ = Phase::kProbe;
  SendInfo(L(leg).Services().endpoint, L(leg).State(), ex_.info);
  ex_.out = ex_.info;
}

void TwoLegBridgeCore::EndProbe(bool alive, std::uint32_t now) {
  if (!alive) {
    phase_ = Phase::kEnded;
    return;
  }
  if (ex_.x == 0) {
    StartProbe(1, now);
    return;
  }
  Idle(now);
}

TwoLegBridgeCore::Wait TwoLegBridgeCore::StepProbe(std::uint32_t now) {
  const int leg = ex_.x;
  SipEndpoint& endpoint = L(leg).Services().endpoint;
  while (std::unique_ptr<SipMessage> m = L(leg).TakeNext()) {
    if (m->IsRequest()) {
      EndProbe(AnswerAside(leg, *m), now);
      return std::nullopt;
    }
    const bool ours = ResponseMatchesRequest(*m, ex_.out.cseq, ex_.out.method) ||
                      ResponseMatchesRequest(*m, ex_.info.cseq, ex_.info.method);
    if (!ours || m->statusCode < 200) continue;
    EndProbe(m->statusCode != 481 && m->statusCode != 487, now);
    return std::nullopt;
  }
  const std::uint32_t age = Since(now, ex_.start);
  if (age >= kProbeDeadMs) {
    EndProbe(false, now);
    return std::nullopt;
  }
  if (Since(now, ex_.lastSend) >= kProbeResendMs) {
    if (age >= kProbeOptionsFromMs && !ex_.optionsSent) {
      SendOptions(endpoint, L(leg).State(), ex_.out);
      ex_.optionsSent = true;
    } else {
      Resend(endpoint, ex_.out);
    }
    ex_.lastSend = now;
  }
  const std::uint32_t wait = std::min(Until(now, ex_.start + kProbeDeadMs), Until(now, ex_.lastSend + kProbeResendMs));
  return WaitOn(wait, leg == 0, leg == 1);
}

// ---- The end.

std::vector<DialogRef> TwoLegBridgeCore::Finish(std::uint32_t now) {
  CORVINA_CHECK_THREAD(thread_);
  (void)now;
  switch (phase_) {
    case Phase::kRelayInvite:
    case Phase::kRelayOptions:
    case Phase::kBackOff: FailRelay(); break;
    case Phase::kAwaitAck: AckY({}); break;
    default: break;
  }
  phase_ = Phase::kEnded;
  ex_ = Exchange{};
  std::vector<DialogRef> out = TakeReplaced();
  for (DialogRef& leg : legs_) {
    if (leg) out.push_back(std::move(leg));
  }
  return out;
}

}  // namespace corvina::sip
