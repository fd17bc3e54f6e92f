// Transfers on the call thread: the REFER we send and follow (the blind transfer the user asks
// for), and the REFER the far end sends us (we call its target and report back in NOTIFYs).
#include <algorithm>
#include <charconv>
#include <optional>
#include <tuple>

#include "call/call_flow.h"
#include "call/call_texts.h"
#include "platform/text.h"
#include "platform/clock.h"
#include "sip/dialog_request_runner.h"
#include "sip/dialog_requests.h"
#include "sip/name_addr.h"
#include "sip/response_composer.h"
#include "sip/sip_uri.h"
#include "sip/wire_texts.h"

namespace corvina::call {

namespace {

namespace wire = sip::wire;

// The status of a message/sipfrag body ("SIP/2.0 200 OK"): the number after the first word;
// 0 when there is none.
int SipfragStatus(std::string_view body) {
  const std::size_t space = body.find(' ');
  if (space == std::string_view::npos) return 0;
  body.remove_prefix(space + 1);
  int status = 0;
  const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), status);
  const bool ended = end == body.data() + body.size() || *end == ' ' || *end == '\r' || *end == '\n';
  return error == std::errc() && ended && status >= 100 && status <= 699 ? status : 0;
}

bool HasControlCharacters(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

}  // namespace

// Runs our REFER and answers the far end's requests while the transfer is followed. A BYE or a
// NOTIFY with a final sipfrag status decides the transfer; the run then stops.
class CallFlow::ReferFollower final : public sip::RequestHost {
 public:
  explicit ReferFollower(CallFlow& flow) : flow_(flow) {}
  std::unique_ptr<sip::SipMessage> NextMessage(int timeoutMs) override {
    std::unique_ptr<sip::SipMessage> m = flow_.NextMessage(timeoutMs);
    flow_.TakeCommands();  // kept for the call; the transfer ends it anyway
    return m;
  }
  bool StopRequested() override { return flow_.MustEnd(); }
  bool OnRequest(std::unique_ptr<sip::SipMessage> request) override {
    Answer(*request);
    return !decided;
  }
  void Answer(const sip::SipMessage& request);

  bool accepted = false;        // a 2xx came to the REFER
  std::optional<bool> decided;  // the transfer's result, once the far end told it

 private:
  CallFlow& flow_;
};

void CallFlow::ReferFollower::Answer(const sip::SipMessage& request) {
  const std::string_view method = request.method;
  if (method == wire::kAck) return;
  if (method == wire::kBye) {
    sip::AnswerInDialogRequest(*flow_.dialog_, request);  // 200; no BYE owed any more
    decided = true;  // the far end left for the target
  } else if (method == wire::kNotify) {
    flow_.Respond(request, 200, wire::kReasonOk);
    const std::string_view fragment = request.FindBody(wire::kSipfragType);
    const int status = SipfragStatus(fragment);
    // A provisional status keeps us waiting; an unreadable one counts as a failure.
    if (!fragment.empty() && (status < 100 || status >= 200)) decided = status >= 200 && status < 300;
  } else if (method == wire::kInvite || method == wire::kRefer) {
    if (accepted) {
      flow_.Respond(request, 500, texts::kReasonServerError);
    } else {
      flow_.Respond(request, 491, wire::kReasonRequestPending);
    }
  } else {
    flow_.Respond(request, 405, texts::kReasonMethodNotAllowed);
  }
}

CallFlow::ReferResult CallFlow::Refer(std::string_view referTo) {
  const std::uint32_t start = Now();
  ReferFollower follower(*this);
  const sip::RequestLimits limits{
      .withoutProvisionalMs = kReferAcceptLimitMs,
      .withProvisionalMs = kReferAcceptLimitMs,
      .resendMs = kInviteResendMs,
      .provisionalStepMs = kProvisionalWaitMs,
      .challenges = kChallengesPerTarget,
      .backOffs = kReferBackOffs,
      .cameIn = cameIn_,
      .fromFirstSend = true,
  };
  const sip::RequestResult r = sip::DialogRequestRunner(*dialog_, follower).Run(
      [&](sip::SipRequestOut& refer) { return sip::SendRefer(Ep(), dialog_->State(), referTo, refer); }, limits);
  const auto decided = [&] { return *follower.decided ? ReferResult::kSucceeded : ReferResult::kFailed; };
  if (follower.decided) return decided();
  if (r.outcome == sip::RequestOutcome::kStopped) return ReferResult::kStopped;
  if (r.outcome != sip::RequestOutcome::kFinal || r.status < 200 || r.status >= 300) return ReferResult::kFailed;
  // Accepted: wait for the far end's report, a BYE or the limit (from the first REFER).
  follower.accepted = true;
  for (;;) {
    if (MustEnd()) return ReferResult::kStopped;
    const int left = platform::TicksUntil(Now(), start + kReferResultLimitMs);
    if (left == 0) return ReferResult::kFailed;
    std::unique_ptr<sip::SipMessage> m = follower.NextMessage(std::min(left, static_cast<int>(kProvisionalWaitMs)));
    if (m && m->IsRequest()) follower.Answer(*m);  // responses here are repeats: dropped
    if (follower.decided) return decided();
  }
}

bool CallFlow::OnTransfer() {
  const std::string target = host_.Commands().TakeTransferTarget();
  if (target.empty()) return true;
  const ReferResult r = Refer(target);
  // Refused or unanswered: the phone calls the target and joins the two parties itself.
  if (r == ReferResult::kFailed) return CallTargetAndJoin(target);
  // A stop (hang-up, shut-down) leaves the outcome untold.
  if (r == ReferResult::kSucceeded) host_.AnnounceTransfer(TransferKind::kBlind, TransferOutcome::kReferred);
  return false;  // every blind transfer ends this line's call; the terminator sends its BYE
}

bool CallFlow::OnRefer(const sip::SipMessage& refer) {
  const std::string_view referTo = refer.FindHeader(sip::kReferTo);
  const std::string uriText = sip::ParseNameAddr(referTo).uri;
  const sip::SipUri uri = sip::ParseUri(uriText);
  std::string replaces;  // decoded by the URI parser
  for (const auto& header : uri.headers.Entries()) {
    if (platform::EqualsIgnoreCase(header.name, sip::kReplaces.full)) replaces = header.value;
  }
  const std::string target = "<" + uriText.substr(0, uriText.find('?')) + ">";
  const bool unbalanced = (referTo.find('<') == referTo.npos) != (referTo.find('>') == referTo.npos);
  // Refused before anything happens: the target and the Replaces value go into our INVITE.
  if (referTo.empty() || unbalanced || uri.host.empty() || HasControlCharacters(target) ||
      HasControlCharacters(replaces)) {
    Respond(refer, 400, texts::kReasonBadRequest);
    return true;
  }
  Respond(refer, 202, texts::kReasonAccepted);

  // The current call is set aside before the attempt, which hands a failed dialog to the
  // terminator; the attempt's own fields are restored when it fails.
  sip::DialogRef old = std::move(dialog_);
  auto saved = std::make_tuple(ownInvite_, establishedTag_, cameIn_);
  dialog_ = DialogToTarget(target);
  const bool replaced = Outgoing(false, replaces, true) == Attempt::kSuccess;
  bool goesOn = true;
  if (replaced) {
    std::swap(dialog_, old);
    NotifyReferResult(200, wire::kReasonOk);
    std::swap(dialog_, old);
    host_.HandOver(std::move(old), std::nullopt);
    cameIn_ = false;
    holdApplied_ = false;  // the new call starts unheld
  } else {
    if (dialog_) host_.HandOver(std::move(dialog_), std::nullopt);  // answered without usable media
    dialog_ = std::move(old);
    std::tie(ownInvite_, establishedTag_, cameIn_) = std::move(saved);
    goesOn = NotifyReferResult(503, texts::kReasonServiceUnavailable);
  }
  if (state_ != CallState::kConnected) {  // the attempt announced its ringing
    state_ = CallState::kConnected;
    host_.Announce(state_, ringCount_);
    if (holdApplied_) host_.AnnounceHold(true);
  }
  host_.AnnounceTransfer(TransferKind::kTransferee, replaced ? TransferOutcome::kReplaced : TransferOutcome::kFailed);
  return goesOn;
}

bool CallFlow::NotifyReferResult(int status, std::string_view reason) {
  const sip::RequestResult r = RunInCall(
      [&](sip::SipRequestOut& notify) { return sip::SendNotify(Ep(), dialog_->State(), status, reason, notify); },
      sip::kNonInviteLimits);
  return r.status != 487;  // 487: the far end ended the dialog meanwhile
}

}  // namespace corvina::call
