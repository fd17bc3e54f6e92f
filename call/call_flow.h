// One call on a line, as straight-line code on the call thread: ringing and answering an
// incoming INVITE, the outgoing attempt with redirects and challenges, and the established
// call with its hold and resume, its transfers and the commands given to it. Every request it sends goes
// through the in-dialog request runner. It sends through the SIP endpoint, reads the dialog's inbox through its host's wait,
// and measures every limit with the endpoint's tick count, so tests drive it with a fake clock
// and a scripted inbox.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "call/hand_over.h"
#include "call/line_commands.h"
#include "call/line_control.h"
#include "call/line_media.h"
#include "call/sdp_session.h"
#include "platform/thread_checker.h"
#include "sip/call_terminator_core.h"
#include "sip/dialog.h"
#include "sip/dialog_request_runner.h"
#include "sip/request_composer.h"
#include "sip/shared_dialog.h"

namespace corvina::call {

inline constexpr std::uint32_t kRingPeriodMs = 2000;
inline constexpr std::uint32_t kShortestRingWaitMs = 500;
inline constexpr std::uint32_t kInviteResendMs = 500;
inline constexpr std::uint32_t kProvisionalWaitMs = 3000;
inline constexpr std::uint32_t kLimitNoAnswerMs = 10000;
inline constexpr std::uint32_t kLimitProvisionalMs = 65000;
inline constexpr std::uint32_t kRedirectLimitNoAnswerMs = 2000;
inline constexpr std::uint32_t kRedirectLimitProvisionalMs = 10000;
inline constexpr std::uint32_t kFinalResendMs = 350;
inline constexpr std::uint32_t kAckLimitMs = 8000;
inline constexpr std::uint32_t kInCallWaitMs = 1000;
inline constexpr int kChallengesPerTarget = 5;
// A REFER we send: the far end must accept it within 5000 ms of the first REFER and report the
// transfer's result within 65000 ms of it; a 491 is answered with at most 5 back-offs.
inline constexpr std::uint32_t kReferAcceptLimitMs = 5000;
inline constexpr std::uint32_t kReferResultLimitMs = 65000;
inline constexpr int kReferBackOffs = 5;

// What the call thread needs from its line.
class CallHost {
 public:
  virtual ~CallHost() = default;
  virtual sip::SipEndpoint& Endpoint() = 0;
  // Returns when `dialog`'s inbox holds a message, a command is pending, a stop is requested,
  // or `timeoutMs` has passed.
  virtual void Wait(sip::SharedDialog& dialog, int timeoutMs) = 0;
  virtual bool StopRequested() = 0;
  virtual LineCommands& Commands() = 0;
  // The hold state the user wants now (any thread writes it; read on every look).
  virtual bool HoldRequested() = 0;
  // Sets the call state and ring count under the line lock and announces them; a change of
  // state clears the applied hold.
  virtual void Announce(CallState state, int ringCount) = 0;
  // Announces the line idle with why the call ended (empty: our own hang-up or none known).
  virtual void AnnounceEnd(int ringCount, std::string_view endReason) = 0;
  // Sets the hold state the far end accepted and announces it.
  virtual void AnnounceHold(bool applied) = 0;
  // Announces a transfer's outcome once, with the line's current state.
  virtual void AnnounceTransfer(TransferKind kind, TransferOutcome outcome) = 0;
  virtual void HandOver(sip::DialogRef dialog, std::optional<sip::PendingInvite> pending) = 0;
  // Makes a dialog that receives messages from `state` and puts it in the engine's list.
  virtual sip::DialogRef AddDialog(sip::Dialog state) = 0;
  // The other line named by the pending JoinLine, taken from the command (null: none, or the
  // line is gone).
  virtual std::shared_ptr<HandOverPeer> TakeJoinPeer() = 0;
  // The hand-over command: gives `dialog` into this line's slot when the other line asked for
  // it (true: moved out; the call ends without BYE).
  virtual bool GiveHandOver(sip::DialogRef& dialog) = 0;
  // Returns when `handOver` is set, a command is pending, a stop is requested or `timeoutMs`
  // has passed.
  virtual void WaitHandOver(platform::Event& handOver, int timeoutMs) = 0;
  // Both dialogs to a two-leg bridge, which keeps them until both parties hang up.
  virtual void Bridge(sip::DialogRef first, sip::DialogRef second) = 0;
};

// The line's identity for the dialogs of outgoing calls.
struct CallIdentity {
  std::string localUri;
  std::string server;  // the account's server (the attended transfer compares it)
  std::string outboundServer;
  std::string user;
  std::string authId;
  std::string password;
};

// The attended transfer's Refer-To for the party of `other`: "<uri?Replaces=value>", the value
// naming `other` (Call-ID, remote tag, local tag) escaped for a URI header.
std::string AttendedReferTo(const sip::Dialog& other);

class CallFlow {
 public:
  CallFlow(CallHost& host, LineMedia& media, SdpSession& sdp, CallIdentity identity);

  // Runs the whole call that StartCall prepared: `dialog` is the call's dialog, `invite` the
  // INVITE of an incoming call (null for outgoing ones). Ends with "Call has disconnected",
  // the dialog handed to the terminator and the line idle.
  void Run(CallState mode, sip::DialogRef dialog, std::unique_ptr<sip::SipMessage> invite);

 private:
  class Requests;  // the host of the request runner that carries every request the flow sends
  class ReferFollower;  // the host while our REFER runs and is followed
  enum class JoinResult { kBridged, kFailed };
  enum class ReferResult { kSucceeded, kFailed, kStopped };
  enum class AnswerResult { kOk, kRefusedSdp, kFailed };
  enum class Attempt { kSuccess, kFailed, kAbandoned };
  struct FinalResult {
    bool acked = false;
    std::unique_ptr<sip::SipMessage> ack;
  };

  sip::SipEndpoint& Ep() { return host_.Endpoint(); }
  std::uint32_t Now() { return Ep().NowMs(); }
  void Log(std::string_view text, std::uint8_t level);
  // A new outgoing dialog to `target` with the line's identity, in the engine's list.
  sip::DialogRef DialogToTarget(const std::string& target);
  bool MustEnd() { return host_.StopRequested() || host_.Commands().HangUpPending(); }
  // Waits up to `timeoutMs` (0: just looks) for the next message of the current dialog.
  std::unique_ptr<sip::SipMessage> NextMessage(int timeoutMs);

  // Rings from `start`, when the first 180 went out; true when the call was answered.
  bool Ringing(std::uint32_t start);
  AnswerResult AnswerInvite(const sip::SipMessage& invite);
  FinalResult FinalResponse(const sip::SipMessage& invite, int status, std::string_view reason,
                            std::string_view sdp);
  Attempt Outgoing(bool intercom, std::string_view replaces, bool announce);
  // The 200 to our INVITE; false when the call cannot go on (BYE owed).
  bool AcceptSuccess(const sip::SipRequestOut& invite, const sip::SipMessage& ok);
  void InCall();
  // Puts the commands given meanwhile into the pending set (and resets the command event).
  void TakeCommands();
  // Hands each pending command to its handler; false when the call ends.
  bool RunCommands();
  // The blind transfer to the target given with the command; ends the call (false).
  bool OnTransfer();
  // The blind transfer's fallback when the REFER failed: we call the target ourselves and join
  // it with the current party. Ends the call (false).
  bool CallTargetAndJoin(const std::string& target);
  // The attended transfer with the other line's call; ends the call (false).
  bool OnJoinLine();
  // Waits (bounded, stop-aware) for the other line's dialog; null when none came.
  sip::DialogRef TakeHandedOver(HandOverPeer& peer);
  // Joins the current dialog's party with `other`'s: each is given the other's SDP and both
  // dialogs go to a bridge. Every dialog the line no longer needs goes to the terminator; on
  // kBridged the line holds none.
  JoinResult Join(sip::DialogRef other);
  // The 2xx to a join re-INVITE, in `dialog`, acknowledged with `sdp` (empty: no body).
  void AckJoin(sip::SharedDialog& dialog, const sip::RequestResult& r, std::string_view sdp);
  // Sends the hold or resume re-INVITE when the requested hold differs from the last applied
  // one, until they agree; false when the call ends.
  bool ApplyHold();
  // False when the call ends.
  bool HandleInCall(std::unique_ptr<sip::SipMessage> message);
  bool TakeReplacingInvite(const sip::SipMessage& invite);
  // Runs one request in the established call's dialog; requests arriving meanwhile get the
  // in-call answers (INVITE and REFER: 491).
  sip::RequestResult RunInCall(const sip::RequestSender& send, const sip::RequestLimits& limits);
  // Sends a REFER to `referTo` ("<uri>") and follows it until the far end reports the result.
  ReferResult Refer(std::string_view referTo);
  // The far end transfers us: calls the Refer-To target (replacing this call on success) and
  // reports the result in a NOTIFY. False when the call ends.
  bool OnRefer(const sip::SipMessage& refer);
  // The transferee's NOTIFY in the current dialog; false when the dialog ended meanwhile.
  bool NotifyReferResult(int status, std::string_view reason);
  void EndExtraFork(const sip::SipMessage& response);
  void Respond(const sip::SipMessage& request, int status, std::string_view reason);

  platform::ThreadChecker thread_;  // the call thread, which makes the flow; every member is its own
  CallHost& host_;
  LineMedia& media_;
  SdpSession& sdp_;
  const CallIdentity identity_;
  sip::DialogRef dialog_;
  std::unique_ptr<sip::SipMessage> invite_;  // the ringing call's INVITE
  std::optional<sip::SipRequestOut> ownInvite_;  // the INVITE of an outgoing call once answered
  std::string establishedTag_;                    // the remote tag of the answered fork
  CallState state_ = CallState::kIdle;
  int ringCount_ = 1;
  bool cameIn_ = false;        // the call's dialog came from an incoming INVITE (491 back-off base)
  bool holdApplied_ = false;   // the hold state last sent in a re-INVITE of this call
  std::uint32_t pending_ = 0;  // commands taken from the line, not yet handled
  std::string endReason_;      // why the call ended, for the idle announcement
};

}  // namespace corvina::call
