// The two-leg bridge's core: after the call layer joined two far ends directly to each other,
// it keeps the signalling between them working. A re-INVITE from one leg goes to the other and
// the answer comes back (an INVITE with Replaces that names a leg swaps that leg for the new
// dialog), OPTIONS are relayed, REFER is refused, a BYE ends the bridge, and a leg quiet for a
// minute is probed with INFO and then OPTIONS. One exchange runs at a time; while it runs only
// the legs it concerns are read, so the other leg's messages wait in its inbox.
//
// Driven by `now`: Step() takes what the legs' inboxes hold, sends through the legs' endpoint
// and says how long its shell may wait and on which legs. Single-threaded (checked); the shell's
// thread becomes the owner on its first call.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/thread_checker.h"
#include "sip/dialog_list.h"
#include "sip/request_composer.h"
#include "sip/shared_dialog.h"

namespace corvina::sip {

inline constexpr std::uint32_t kBridgeQuietMs = 60000;       // without messages: liveness check
inline constexpr std::uint32_t kBridgeResendMs = 500;        // relayed request, until a provisional
inline constexpr std::uint32_t kRelayInviteGiveUpMs = 5000;  // without a provisional
inline constexpr std::uint32_t kRelayInviteProvisionalGiveUpMs = 25000;
inline constexpr std::uint32_t kRelayOptionsGiveUpMs = 3000;
inline constexpr std::uint32_t kAnswerResendMs = 350;        // our 200 to a re-INVITE, until its ACK
inline constexpr std::uint32_t kAnswerGiveUpMs = 8000;
inline constexpr int kRelayBackOffs = 5;                     // 491 back-offs per relay, then it fails
inline constexpr int kRelayChallenges = 5;
inline constexpr std::uint32_t kProbeResendMs = 750;
inline constexpr std::uint32_t kProbeOptionsFromMs = 3000;
inline constexpr std::uint32_t kProbeDeadMs = 6000;

struct BridgeStep {
  int waitMs = 0;                      // until the next resend, give-up or liveness check
  std::array<bool, 2> watch{};         // the legs whose message events may end the wait early
  bool ended = false;                  // the bridge is over: Finish() and hand the legs over
};

class TwoLegBridgeCore {
 public:
  // `dialogs` is the engine's list, into which a leg that replaces another is put. Both legs
  // must have been released by their previous holder.
  TwoLegBridgeCore(DialogList& dialogs, DialogRef a, DialogRef b, std::uint32_t now);

  // The next thread to call an entry point becomes the owner.
  void AdoptNextThread() { thread_.Detach(); }

  BridgeStep Step(std::uint32_t now);
  // The dialogs that left the bridge while it runs (a replaced leg), for the call terminator.
  std::vector<DialogRef> TakeReplaced();
  // Ends the bridge (a stop request, or after Step said so): an exchange under way fails (the
  // asking party gets 408, an unacknowledged answer gets its ACK) and both legs are returned
  // for the call terminator.
  std::vector<DialogRef> Finish(std::uint32_t now);

  const DialogRef& Leg(int i) const { return legs_[static_cast<std::size_t>(i)]; }
  platform::Event* MessageEvent(int i) const;

 private:
  enum class Phase { kIdle, kRelayInvite, kBackOff, kAwaitAck, kRelayOptions, kProbe, kEnded };
  // The one exchange under way. `x` is the leg that asked (or the probed leg); y = 1 - x.
  struct Exchange {
    int x = 0;
    std::unique_ptr<SipMessage> request;  // X's INVITE or OPTIONS
    SipRequestOut out;                    // what we sent Y (or the probe to X)
    SipRequestOut info;                   // the probe's INFO, whose late answer still counts
    std::uint32_t start = 0;
    std::uint32_t lastSend = 0;
    std::uint32_t until = 0;              // end of a back-off
    bool provisional = false;
    bool optionsSent = false;
    int backOffs = 0;
    int challenges = 0;
    std::unique_ptr<SipMessage> yAnswer;  // Y's 2xx, acknowledged once X acknowledges ours
    SipRequestOut yInvite;
    std::string answerText;               // our 200 to X, resent until X's ACK
    SocketAddress answerTo;
  };
  using Wait = std::optional<BridgeStep>;  // nothing: go round again at once

  SharedDialog& L(int i) { return *legs_[static_cast<std::size_t>(i)]; }
  Wait StepIdle(std::uint32_t now);
  Wait StepRelay(std::uint32_t now);
  Wait StepBackOff(std::uint32_t now);
  Wait StepAwaitAck(std::uint32_t now);
  Wait StepProbe(std::uint32_t now);
  // A request from leg `i` while nothing runs.
  void OnIdleRequest(int i, std::unique_ptr<SipMessage> request, std::uint32_t now);
  // A request from leg `i` that arrives during an exchange: REFER 405, otherwise the fixed
  // in-dialog answers. False when it ended the leg (a BYE).
  bool AnswerAside(int i, const SipMessage& request);
  void StartRelay(int x, std::unique_ptr<SipMessage> request, Phase phase, std::uint32_t now);
  bool SendRelayed(std::uint32_t now);
  void RelayFinal(std::unique_ptr<SipMessage> response, std::uint32_t now);
  void RelaySucceeded(std::uint32_t now);
  void FailRelay();
  void AckY(std::string_view sdp);
  void StartProbe(int leg, std::uint32_t now);
  void EndProbe(bool alive, std::uint32_t now);
  Wait Idle(std::uint32_t now);
  void Begin(int x, std::uint32_t now, std::unique_ptr<SipMessage> request = nullptr);

  DialogList& dialogs_;
  platform::ThreadChecker thread_;
  std::array<DialogRef, 2> legs_;    // owning thread
  std::vector<DialogRef> replaced_;  // owning thread
  bool adopted_ = false;             // owning thread: the legs were taken over
  Phase phase_ = Phase::kIdle;       // owning thread
  Exchange ex_;                      // owning thread
  std::uint32_t quietSince_ = 0;     // owning thread: last message taken
};

}  // namespace corvina::sip
