#include "call/call_flow.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "call/call_texts.h"
#include "call/redirect_targets.h"
#include "platform/clock.h"
#include "sip/dialog_request_runner.h"
#include "sip/dialog_requests.h"
#include "sip/name_addr.h"
#include "sip/replaces.h"
#include "sip/request_auth.h"
#include "sip/response_composer.h"
#include "sip/wire_texts.h"

namespace corvina::call {

namespace {

namespace wire = sip::wire;

std::uint32_t Since(std::uint32_t now, std::uint32_t then) { return now - then; }

std::string TagOf(std::string_view party) { return std::string(sip::ParseNameAddr(party).params.Find("tag")); }

std::string CSeqText(std::uint32_t number, std::string_view method) {
  return std::to_string(number) + " " + std::string(method);
}

}  // namespace

// The flow as the host of the request runner that carries every request it sends: waits through
// the flow (commands go to its pending set), stops when the call must end, answers requests that
// arrive meanwhile and announces ringing.
class CallFlow::Requests final : public sip::RequestHost {
 public:
  enum class Phase { kSettingUp, kInCall };
  Requests(CallFlow& flow, Phase phase, bool announceRinging);
  std::unique_ptr<sip::SipMessage> NextMessage(int timeoutMs) override;
  bool StopRequested() override;
  bool OnRequest(std::unique_ptr<sip::SipMessage> request) override;
  void OnProvisional(const sip::SipMessage& response) override;

 private:
  CallFlow& flow_;
  const Phase phase_;
  const bool announceRinging_;
};

CallFlow::CallFlow(CallHost& host, LineMedia& media, SdpSession& sdp, CallIdentity identity)
    : host_(host), media_(media), sdp_(sdp), identity_(std::move(identity)) {}

sip::DialogRef CallFlow::DialogToTarget(const std::string& target) {
  return host_.AddDialog(sip::NewOutgoingDialog(Ep(), {.from = identity_.localUri,
                                                       .to = target,
                                                       .outboundProxy = identity_.outboundServer,
                                                       .localUser = identity_.user,
                                                       .authorizationUser = identity_.authId,
                                                       .password = identity_.password}));
}

void CallFlow::Log(std::string_view text, std::uint8_t level) { Ep().Log().Log(text, level); }

std::unique_ptr<sip::SipMessage> CallFlow::NextMessage(int timeoutMs) {
  if (auto m = dialog_->TakeNext()) return m;
  if (timeoutMs > 0 && !MustEnd()) host_.Wait(*dialog_, timeoutMs);
  return dialog_->TakeNext();
}

void CallFlow::Respond(const sip::SipMessage& request, int status, std::string_view reason) {
  sip::SendResponse(Ep(), request, status, reason, {.toTag = dialog_->LocalTag()});
}

void CallFlow::Run(CallState mode, sip::DialogRef dialog, std::unique_ptr<sip::SipMessage> invite) {
  CORVINA_CHECK_THREAD(thread_);
  dialog_ = std::move(dialog);
  invite_ = std::move(invite);
  state_ = mode;
  cameIn_ = mode == CallState::kIncomingRinging;
  if (mode == CallState::kIncomingRinging) {
    // The caller hears ringing before the media socket (and its public address) is ready.
    const std::uint32_t ringStart = Now();
    Respond(*invite_, 180, texts::kReasonRinging);
    host_.Announce(state_, ringCount_);
    media_.Open();
    const bool answered = Ringing(ringStart);
    invite_.reset();
    if (answered) InCall();
  } else {
    media_.Open();
    const Attempt a = Outgoing(mode == CallState::kDiallingIntercom, {}, true);
    if (a == Attempt::kSuccess) {
      endReason_.clear();  // an earlier redirect target's failure is no reason any more
      Log(texts::kAnswered, platform::kLogInfo);
      InCall();
    }
  }
  Log(texts::kDisconnected, platform::kLogInfo);
  media_.Stop();
  if (dialog_) host_.HandOver(std::move(dialog_), std::nullopt);
  state_ = CallState::kIdle;
  host_.AnnounceEnd(ringCount_, endReason_);
}

bool CallFlow::Ringing(std::uint32_t start) {
  Log(texts::kIncomingCall, platform::kLogInfo);
  std::uint32_t nextRing = start + kRingPeriodMs;  // the first 180 went out at the start
  for (;;) {
    const std::uint32_t now = Now();
    if (platform::TicksUntil(now, nextRing) == 0) {
      Respond(*invite_, 180, texts::kReasonRinging);
      const std::uint32_t elapsed = Since(now, start);
      ringCount_ = static_cast<int>(elapsed / kRingPeriodMs + 1);
      host_.Announce(state_, ringCount_);
      const std::uint32_t boundary = kRingPeriodMs * (elapsed / kRingPeriodMs) + kRingPeriodMs;
      nextRing = start + std::max(boundary, elapsed + kShortestRingWaitMs);
    }
    std::unique_ptr<sip::SipMessage> m = NextMessage(platform::TicksUntil(Now(), nextRing));
    if (m && m->IsRequest()) {
      if (m->method == wire::kCancel) {
        Respond(*m, 200, wire::kReasonOk);
        FinalResponse(*invite_, 487, wire::kReasonRequestTerminated, {});
        return false;
      }
      if (m->method == wire::kInvite || m->method == wire::kRefer) {
        Respond(*m, 500, texts::kReasonServerError);
      } else if (!sip::AnswerInDialogRequest(*dialog_, *m)) {
        FinalResponse(*invite_, 487, wire::kReasonRequestTerminated, {});
        return false;
      }
    }
    const std::uint32_t commands = host_.Commands().Take();
    if (MustEnd()) {
      FinalResponse(*invite_, 480, wire::kReasonTemporarilyUnavailable, {});
      return false;
    }
    if (commands & LineCommands::Bit(LineCommand::kAnswer)) return AnswerInvite(*invite_) == AnswerResult::kOk;
  }
}

CallFlow::AnswerResult CallFlow::AnswerInvite(const sip::SipMessage& invite) {
  const std::string_view offer = invite.FindBody(wire::kSdpType);
  std::string sdp;
  const bool weOffer = offer.empty();
  if (weOffer) {
    sdp = sdp_.BuildOffer(media_.Local(), false);
  } else {
    const bool recvonly = offer.find(texts::kSdpSendOnly) != std::string_view::npos;
    SdpNegotiation n = sdp_.Negotiate(offer, true, recvonly, media_.Local());
    if (!n.usable) {
      Log(texts::kNoCodecs, platform::kLogError);
      endReason_ = texts::kEndNoCodec;
      FinalResponse(invite, 415, texts::kReasonUnsupportedMedia, {});
      return AnswerResult::kRefusedSdp;
    }
    sdp = std::move(n.answer);
  }
  dialog_->State().established = true;
  FinalResult r = FinalResponse(invite, 200, wire::kReasonOk, sdp);
  if (!r.acked) return AnswerResult::kFailed;
  if (weOffer) {
    const std::string_view answer = r.ack->FindBody(wire::kSdpType);
    if (answer.empty()) return AnswerResult::kFailed;
    if (!sdp_.Negotiate(answer, false, false, media_.Local()).usable) {
      Log(texts::kNoCodecs, platform::kLogError);
      endReason_ = texts::kEndNoCodec;
      return AnswerResult::kFailed;
    }
  }
  media_.SetRemote(sdp_.State());
  return AnswerResult::kOk;
}

CallFlow::FinalResult CallFlow::FinalResponse(const sip::SipMessage& invite, int status, std::string_view reason,
                                              std::string_view sdp) {
  FinalResult result;
  sip::ResponseOptions options{.toTag = dialog_->LocalTag()};
  std::string contact;
  if (status >= 200 && status < 300) {
    contact = sip::OwnContact(Ep().Addresses(), dialog_->State().localUser, invite.source);
    options.contact = contact;
    if (!sdp.empty()) {
      options.bodyType = wire::kSdpType;
      options.body = sdp;
    }
  }
  const std::string text = sip::ComposeResponse(invite, status, reason, options);
  Ep().Send(invite.source, text);
  Ep().RecordSent(invite, invite.source, text);
  const std::uint32_t start = Now();
  std::uint32_t lastSent = start;
  for (;;) {
    if (host_.StopRequested() || Since(Now(), start) >= kAckLimitMs) return result;
    const int wait = std::min(platform::TicksUntil(Now(), lastSent + kFinalResendMs),
                              platform::TicksUntil(Now(), start + kAckLimitMs));
    std::unique_ptr<sip::SipMessage> m = dialog_->TakeNext();
    if (!m && !host_.StopRequested()) {
      host_.Wait(*dialog_, wait);
      m = dialog_->TakeNext();
    }
    if (m && m->IsRequest()) {
      if (m->method == wire::kAck) {
        result.acked = true;
        result.ack = std::move(m);
        return result;
      }
      if (!sip::AnswerInDialogRequest(*dialog_, *m)) return result;
    }
    if (m == nullptr) TakeCommands();  // kept for the call; a command does not hurry the resend
    if (Since(Now(), lastSent) >= kFinalResendMs && Since(Now(), start) < kAckLimitMs) {
      Ep().Send(invite.source, text);
      lastSent = Now();
    }
  }
}

CallFlow::Attempt CallFlow::Outgoing(bool intercom, std::string_view replaces, bool announce) {
  const std::string offer = sdp_.BuildOffer(media_.Local(), false);
  const sip::InviteOptions options{.sdp = offer, .replaces = replaces, .autoAnswer = intercom};
  RedirectTargets targets(dialog_->State().remoteParty);
  for (;;) {
    // Shorter limits while other redirect targets wait their turn.
    const bool redirectsLeft = !targets.Empty();
    const sip::RequestLimits limits{
        .withoutProvisionalMs = redirectsLeft ? kRedirectLimitNoAnswerMs : kLimitNoAnswerMs,
        .withProvisionalMs = redirectsLeft ? kRedirectLimitProvisionalMs : kLimitProvisionalMs,
        .resendMs = kInviteResendMs,
        .provisionalStepMs = kProvisionalWaitMs,
        .challenges = kChallengesPerTarget,
        .ackSuccess = false,  // the 200 updates the dialog first
    };
    Requests host(*this, Requests::Phase::kSettingUp, announce);
    sip::RequestResult r = sip::DialogRequestRunner(*dialog_, host).Run(
        [&](sip::SipRequestOut& invite) { return sip::SendInvite(Ep(), dialog_->State(), invite, options); }, limits);
    bool timedOut = false;
    bool abandoned = false;
    switch (r.outcome) {
      case sip::RequestOutcome::kFinal:
        if (r.status >= 200 && r.status < 300) {
          ownInvite_ = r.request;
          return AcceptSuccess(r.request, *r.response) ? Attempt::kSuccess : Attempt::kFailed;
        }
        if (r.status < 400) {
          for (std::string_view contact : r.response->HeaderValues(sip::kContact)) targets.AddContactValue(contact);
        } else if (r.status != 401 && r.status != 407) {  // a refused challenge was logged by the digest code
          Log(std::string(texts::kOtherSideSaid) + r.response->reason, platform::kLogError);
          endReason_ = r.response->reason;
        } else {
          endReason_ = texts::kEndAuthorization;
        }
        break;
      case sip::RequestOutcome::kStopped:
        Log(texts::kAbandoned, platform::kLogInfo);
        endReason_.clear();
        abandoned = timedOut = true;
        break;
      case sip::RequestOutcome::kTimedOut:
        Log(texts::kTimedOut, platform::kLogError);
        Log(texts::kServerNotReplying, platform::kLogError);
        endReason_ = texts::kEndNoReply;
        timedOut = true;
        break;
      case sip::RequestOutcome::kDialogEnded:
      case sip::RequestOutcome::kUnsent:
        break;
    }
    // The target failed: the dialog goes to the terminator, with its CANCEL owed when the
    // INVITE is still without a final answer.
    std::optional<sip::PendingInvite> pending;
    if (timedOut && !dialog_->State().established) pending = sip::PendingInvite{r.request, r.provisional};
    if (abandoned || targets.Empty()) {
      host_.HandOver(std::move(dialog_), std::move(pending));
      return abandoned ? Attempt::kAbandoned : Attempt::kFailed;
    }
    sip::Dialog next = sip::CopyDialog(Ep(), dialog_->State());
    const std::string target = targets.TakeNext();
    next.remoteParty = target;
    next.remoteTarget = sip::ParseNameAddr(target).uri;
    host_.HandOver(std::move(dialog_), std::move(pending));
    dialog_ = host_.AddDialog(std::move(next));
  }
}

bool CallFlow::AcceptSuccess(const sip::SipRequestOut& invite, const sip::SipMessage& ok) {
  sip::Dialog& d = dialog_->State();
  sip::ApplyInviteSuccess(d, ok);
  d.quirks = sip::QuirksOf(ok.FindHeader(sip::kUserAgent));
  d.established = true;
  establishedTag_ = TagOf(d.remoteParty);
  sip::SipRequestOut ack;
  sip::SendAck(Ep(), d, invite, ok, {}, ack);
  const std::string_view answer = ok.FindBody(wire::kSdpType);
  if (answer.empty() || !sdp_.Negotiate(answer, false, false, media_.Local()).usable) {
    // Acknowledged, then ended with the BYE the terminator sends for an established dialog.
    Log(texts::kNoCodecs, platform::kLogError);
    endReason_ = texts::kEndNoCodec;
    return false;
  }
  media_.SetRemote(sdp_.State());
  return true;
}

void CallFlow::InCall() {
  media_.Start();
  state_ = CallState::kConnected;
  host_.Announce(state_, ringCount_);
  holdApplied_ = false;
  for (;;) {
    if (!ApplyHold()) return;
    std::unique_ptr<sip::SipMessage> m = NextMessage(static_cast<int>(kInCallWaitMs));
    TakeCommands();
    if (m && !HandleInCall(std::move(m))) return;
    if (MustEnd() || !RunCommands()) return;
  }
}

void CallFlow::TakeCommands() { pending_ |= host_.Commands().Take(); }

bool CallFlow::RunCommands() {
  const std::uint32_t commands = std::exchange(pending_, 0);
  // HoldChanged needs nothing here: the loop compares the requested hold with the applied one
  // on every pass. Answer means nothing to an established call.
  if (commands & LineCommands::Bit(LineCommand::kHandOver)) {
    // The other line takes this call (when it still waits for it): no BYE from here.
    if (host_.GiveHandOver(dialog_)) return false;
  }
  if ((commands & LineCommands::Bit(LineCommand::kTransfer)) && !OnTransfer()) return false;
  if (commands & LineCommands::Bit(LineCommand::kJoinLine)) return OnJoinLine();
  return true;
}

bool CallFlow::ApplyHold() {
  // Re-read after every exchange: presses made meanwhile count only by their last state.
  while (host_.HoldRequested() != holdApplied_) {
    holdApplied_ = !holdApplied_;
    const std::string offer = sdp_.BuildOffer(media_.Local(), holdApplied_);
    sip::RequestLimits limits = sip::kReInviteLimits;
    limits.cameIn = cameIn_;
    const sip::RequestResult r = RunInCall(
        [&](sip::SipRequestOut& reInvite) {
          return sip::SendInvite(Ep(), dialog_->State(), reInvite, {.sdp = offer});
        },
        limits);
    // Anything but a 2xx (the runner acknowledged a final response) ends the call.
    if (r.outcome != sip::RequestOutcome::kFinal || r.status < 200 || r.status >= 300) {
      if (r.outcome == sip::RequestOutcome::kFinal) endReason_ = r.response->reason;
      if (r.outcome == sip::RequestOutcome::kTimedOut) endReason_ = texts::kEndNoReply;
      return false;
    }
    const std::string_view answer = r.response->FindBody(wire::kSdpType);
    if (!answer.empty() && sdp_.Negotiate(answer, false, false, media_.Local()).usable) {
      media_.SetRemote(sdp_.State());
    }
    host_.AnnounceHold(holdApplied_);
  }
  return true;
}

bool CallFlow::HandleInCall(std::unique_ptr<sip::SipMessage> m) {
  if (m->IsResponse()) {
    if (ownInvite_ && m->statusCode >= 200 && m->statusCode < 300 &&
        m->FindHeader(sip::kCSeq) == CSeqText(ownInvite_->cseq, ownInvite_->method) &&
        TagOf(m->FindHeader(sip::kTo)) != establishedTag_) {
      EndExtraFork(*m);
    }
    return true;
  }
  if (m->method == wire::kRefer) return OnRefer(*m);
  if (m->method != wire::kInvite) {
    if (sip::AnswerInDialogRequest(*dialog_, *m)) return true;
    endReason_ = texts::kEndFarHangUp;  // the far end's BYE
    return false;
  }
  const std::string_view replaces = m->FindHeader(sip::kReplaces);
  if (!replaces.empty()) return TakeReplacingInvite(*m);
  const std::string_view contact = m->FindHeader(sip::kContact);
  const std::string oldTarget = dialog_->State().remoteTarget;
  if (!contact.empty()) dialog_->State().remoteTarget = sip::ParseNameAddr(contact).uri;
  const AnswerResult r = AnswerInvite(*m);
  if (r == AnswerResult::kRefusedSdp) {
    dialog_->State().remoteTarget = oldTarget;  // the refused re-INVITE changes nothing
    endReason_.clear();                         // and the call goes on
    return true;
  }
  return r == AnswerResult::kOk;
}

bool CallFlow::TakeReplacingInvite(const sip::SipMessage& invite) {
  if (!sip::ReplacesNames(invite.FindHeader(sip::kReplaces), dialog_->State())) {
    sip::SendResponse(Ep(), invite, 481, wire::kReasonNoSuchCall);
    return true;
  }
  sip::Dialog fresh = sip::NewIncomingDialog(Ep(), invite);
  fresh.localUser = dialog_->State().localUser;
  fresh.authorizationUser = dialog_->State().authorizationUser;
  fresh.password = dialog_->State().password;
  sip::DialogRef old = std::move(dialog_);
  dialog_ = host_.AddDialog(std::move(fresh));
  host_.HandOver(std::move(old), std::nullopt);
  ownInvite_.reset();
  cameIn_ = true;
  return AnswerInvite(invite) == AnswerResult::kOk;
}

void CallFlow::EndExtraFork(const sip::SipMessage& response) {
  // A second fork answered too: acknowledge it and end that leg at once. Its responses share
  // the call's inbox (same Call-ID and local tag).
  sip::Dialog fork = dialog_->State();
  sip::ApplyInviteSuccess(fork, response);
  sip::SipRequestOut ack;
  sip::SendAck(Ep(), fork, *ownInvite_, response, {}, ack);
  sip::RequestLimits limits = sip::kNonInviteLimits;
  limits.challenges = 0;
  RunInCall([&](sip::SipRequestOut& bye) { return sip::SendByeWithoutCredentials(Ep(), fork, bye); }, limits);
}

sip::RequestResult CallFlow::RunInCall(const sip::RequestSender& send, const sip::RequestLimits& limits) {
  Requests host(*this, Requests::Phase::kInCall, false);
  return sip::DialogRequestRunner(*dialog_, host).Run(send, limits);
}

CallFlow::Requests::Requests(CallFlow& flow, Phase phase, bool announceRinging)
    : flow_(flow), phase_(phase), announceRinging_(announceRinging) {}

std::unique_ptr<sip::SipMessage> CallFlow::Requests::NextMessage(int timeoutMs) {
  std::unique_ptr<sip::SipMessage> m = flow_.NextMessage(timeoutMs);
  flow_.TakeCommands();  // kept for the call; the command event is reset, so waits do not spin
  return m;
}

bool CallFlow::Requests::StopRequested() { return flow_.MustEnd(); }

bool CallFlow::Requests::OnRequest(std::unique_ptr<sip::SipMessage> request) {
  // An INVITE or REFER while ours is under way gets 491: answering it would take our own
  // response from the inbox, and a Replaces or a transfer would swap the dialog the runner holds.
  if (phase_ == Phase::kInCall && request->method != wire::kInvite && request->method != wire::kRefer) {
    return flow_.HandleInCall(std::move(request));
  }
  return sip::AnswerInDialogRequest(*flow_.dialog_, *request);
}

void CallFlow::Requests::OnProvisional(const sip::SipMessage& response) {
  const int status = response.statusCode;
  if (announceRinging_ && status >= 180 && status < 190 && flow_.state_ != CallState::kRemoteRinging) {
    flow_.state_ = CallState::kRemoteRinging;
    flow_.host_.Announce(flow_.state_, flow_.ringCount_);
  }
}

}  // namespace corvina::call
