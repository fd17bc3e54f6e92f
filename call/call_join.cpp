// The phone joining two parties itself, on the call thread: the attended transfer between the
// two lines (the other line hands its dialog over, then a REFER with Replaces or a join), the
// blind transfer's fallback (we call the target, then join), and the join itself: a re-INVITE
// without SDP asks the first party for an offer, the second party gets that offer, and its
// answer goes back in the first party's ACK; both dialogs then belong to a two-leg bridge.
#include <tuple>
#include <utility>

#include "call/call_flow.h"
#include "call/call_texts.h"
#include "platform/text.h"
#include "platform/clock.h"
#include "sip/dialog_request_runner.h"
#include "sip/dialog_requests.h"
#include "sip/name_addr.h"
#include "sip/param_list.h"
#include "sip/wire_texts.h"

namespace corvina::call {

namespace {

namespace wire = sip::wire;

bool IsSuccess(const sip::RequestResult& r) {
  return r.outcome == sip::RequestOutcome::kFinal && r.status >= 200 && r.status < 300 && r.response;
}

}  // namespace

std::string AttendedReferTo(const sip::Dialog& other) {
  const std::string remoteTag(sip::ParseNameAddr(other.remoteParty).params.Find("tag"));
  // Escaped as a whole: ';', '=' and '@' inside a URI header would otherwise end the value.
  const std::string replaces =
      sip::PercentEncode(other.callId + ";to-tag=" + remoteTag + ";from-tag=" + other.localTag);
  return "<" + sip::ParseNameAddr(other.remoteParty).uri + "?Replaces=" + replaces + ">";
}

bool CallFlow::OnJoinLine() {
  std::shared_ptr<HandOverPeer> peer = host_.TakeJoinPeer();
  if (!peer || peer->IsIdle()) {
    Log(texts::kJoinIdleLine, platform::kLogInfo);
    return false;
  }
  const LineAccountKey key = peer->AccountKey();
  const bool sameAccount = platform::EqualsIgnoreCase(key.server, identity_.server) &&
                           platform::EqualsIgnoreCase(key.user, identity_.user);
  sip::DialogRef other = TakeHandedOver(*peer);
  peer.reset();
  if (!other) {
    Log(texts::kJoinNoHandOver, platform::kLogInfo);
    return false;
  }
  if (sameAccount) {
    const ReferResult r = Refer(AttendedReferTo(other->State()));
    if (r != ReferResult::kFailed) {
      // The target replaces the other dialog itself; the terminator ends what is left of it.
      host_.HandOver(std::move(other), std::nullopt);
      if (r == ReferResult::kSucceeded) host_.AnnounceTransfer(TransferKind::kAttended, TransferOutcome::kReferred);
      return false;
    }
  }
  const JoinResult j = Join(std::move(other));
  host_.AnnounceTransfer(TransferKind::kAttended,
                         j == JoinResult::kBridged ? TransferOutcome::kBridged : TransferOutcome::kFailed);
  return false;
}

sip::DialogRef CallFlow::TakeHandedOver(HandOverPeer& peer) {
  if (sip::DialogRef leftover = peer.RequestHandOver()) host_.HandOver(std::move(leftover), std::nullopt);
  const std::uint32_t start = Now();
  platform::Event& given = peer.Slot().Event();
  for (;;) {
    const int left = platform::TicksUntil(Now(), start + kHandOverWaitMs);
    if (given.IsSet() || left == 0 || MustEnd()) break;
    host_.WaitHandOver(given, left);
    TakeCommands();  // kept; resets the command event so the wait does not spin
  }
  // The last look and the withdrawal are one step: a dialog given meanwhile is taken here.
  sip::DialogRef dialog = peer.Slot().TakeOrWithdraw();
  if (dialog && MustEnd()) {
    host_.HandOver(std::move(dialog), std::nullopt);  // nobody else takes it: BYE
    return nullptr;
  }
  return dialog;
}

bool CallFlow::CallTargetAndJoin(const std::string& target) {
  sip::DialogRef old = std::move(dialog_);
  auto saved = std::make_tuple(ownInvite_, establishedTag_, cameIn_);
  dialog_ = DialogToTarget(target);
  const bool answered = Outgoing(false, {}, false) == Attempt::kSuccess;
  std::tie(ownInvite_, establishedTag_, cameIn_) = std::move(saved);
  sip::DialogRef reached = std::exchange(dialog_, std::move(old));
  JoinResult j = JoinResult::kFailed;
  if (answered) {
    j = Join(std::move(reached));
  } else if (reached) {
    host_.HandOver(std::move(reached), std::nullopt);  // answered without usable media: BYE
  }
  host_.AnnounceTransfer(TransferKind::kBlind,
                         j == JoinResult::kBridged ? TransferOutcome::kBridged : TransferOutcome::kFailed);
  return false;
}

CallFlow::JoinResult CallFlow::Join(sip::DialogRef other) {
  sip::RequestLimits limits = sip::kReInviteLimits;
  limits.cameIn = cameIn_;
  limits.ackSuccess = false;  // each 2xx is acknowledged here, with the SDP it needs
  const sip::RequestResult first = RunInCall(
      [&](sip::SipRequestOut& reInvite) { return sip::SendInvite(Ep(), dialog_->State(), reInvite, {}); }, limits);
  const std::string offer = IsSuccess(first) ? std::string(first.response->FindBody(wire::kSdpType)) : std::string();
  if (offer.empty()) {
    // Refused, or a 2xx without an offer: nothing to give the second party.
    if (IsSuccess(first)) AckJoin(*dialog_, first, {});
    host_.HandOver(std::move(other), std::nullopt);
    Log(texts::kJoinFailed, platform::kLogError);
    return JoinResult::kFailed;
  }
  // The second party gets the first party's offer; its requests meanwhile are answered in its
  // own dialog.
  sip::DialogRef firstDialog = std::exchange(dialog_, std::move(other));
  limits.cameIn = false;
  const sip::RequestResult second = RunInCall(
      [&](sip::SipRequestOut& reInvite) { return sip::SendInvite(Ep(), dialog_->State(), reInvite, {.sdp = offer}); },
      limits);
  const std::string answer = IsSuccess(second) ? std::string(second.response->FindBody(wire::kSdpType)) : std::string();
  if (IsSuccess(second)) AckJoin(*dialog_, second, {});
  sip::DialogRef secondDialog = std::exchange(dialog_, std::move(firstDialog));
  if (answer.empty()) {
    // The first party's offer still gets an answer, our own, before its BYE.
    const bool recvonly = offer.find(texts::kSdpSendOnly) != std::string::npos;
    AckJoin(*dialog_, first, sdp_.Negotiate(offer, true, recvonly, media_.Local()).answer);
    host_.HandOver(std::move(secondDialog), std::nullopt);
    Log(texts::kJoinFailed, platform::kLogError);
    return JoinResult::kFailed;
  }
  AckJoin(*dialog_, first, answer);
  host_.Bridge(std::move(dialog_), std::move(secondDialog));
  return JoinResult::kBridged;
}

void CallFlow::AckJoin(sip::SharedDialog& dialog, const sip::RequestResult& r, std::string_view sdp) {
  sip::SipRequestOut ack;
  sip::SendAck(Ep(), dialog.State(), r.request, *r.response, sdp, ack);
}

}  // namespace corvina::call
