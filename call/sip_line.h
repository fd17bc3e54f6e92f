// One line's call object: the operations the controller gives (LineControl), the incoming-call
// entry the SIP engine offers new INVITEs to, and the call thread that runs one call at a time
// (CallFlow). Every change of call state or ring count is announced with a snapshot taken
// under the line lock and posted to the user-interface thread.
//
// Threads: the controller's operations run on the user-interface thread, OfferIncomingCall on
// the engine thread, the call itself on the call thread; IsBusy and Snapshot on any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "call/call_flow.h"
#include "call/hand_over.h"
#include "call/line_commands.h"
#include "call/line_control.h"
#include "call/line_media.h"
#include "call/sdp_session.h"
#include "platform/settings.h"
#include "platform/thread_checker.h"
#include "platform/ui_queue.h"
#include "platform/worker_thread.h"
#include "sip/dialog_list.h"
#include "sip/dialog_services.h"
#include "sip/line_list.h"

namespace corvina::call {

// A line's account as its settings section gives it, read at the moment of use.
struct LineAccount {
  std::string displayName;
  std::string user;
  std::string server;
  std::string outboundServer;  // empty unless UseOutboundServer is 1
  std::string authId;          // empty unless UseAuthentication holds
  std::string password;

  // "\"name\" <sip:user@server>", or "<sip:user@server>" without a display name.
  std::string LocalUri(std::string_view displayNameOverride = {}) const;
};
LineAccount ReadLineAccount(const platform::Settings& settings, std::string_view section);

struct SipLineServices {
  platform::Settings& settings;
  sip::DialogServices dialogs;  // endpoint, sent-message cache, waiter
  sip::DialogList& dialogList;
  std::function<void(sip::DialogRef, std::optional<sip::PendingInvite>)> handOver;  // the call terminator
  SdpCounter& sdpCounter;
  platform::UiQueue& ui;
  // A two-leg bridge for the two dialogs of a join (ownership passes); unset: both dialogs go
  // to the terminator.
  std::function<void(sip::DialogRef, sip::DialogRef)> bridge;
};

// Lines are owned by std::shared_ptr: JoinLine keeps the other line by a weak reference.
class SipLine final : public LineControl,
                      public sip::IncomingCallLine,
                      public HandOverPeer,
                      public std::enable_shared_from_this<SipLine> {
 public:
  // `section` names the settings section of the account at the moment of use.
  SipLine(int lineIndex, SipLineServices services, std::function<std::string()> section,
          std::unique_ptr<LineMedia> media);
  ~SipLine() override;

  // Stops the call thread (an unanswered call is refused, a call ended) and waits for it; the
  // line then takes no new call.
  void Shutdown();

  // LineControl.
  bool IsBusy() const override;
  LineSnapshot Snapshot() const override;
  bool Answer() override;
  bool MakeCallAs(std::string_view target, std::string_view displayName, bool intercom) override;
  void SendDigits(std::string_view digits) override;
  void Transfer(std::string_view target) override;
  void HangUp() override;
  void JoinLine(LineControl& other) override;
  void SetHoldRequested(bool held) override;
  bool HoldRequested() const override;
  void SetListener(LineListener* listener) override;

  // The engine's view.
  std::string UserName() const override;
  int CallState() const override { return static_cast<int>(Snapshot().state); }
  bool OfferIncomingCall(std::unique_ptr<sip::SipMessage>& invite) override;

  // Prepares the line for a new call and starts the call thread; false, doing nothing, unless
  // the line is idle. `remoteParty` is the From of an incoming INVITE or the request URI. The
  // line is reserved under the lock; joining the previous call thread, the settings reads and
  // adding the dialog to the engine's list happen outside it; the call is then published
  // under the lock. `invite` is taken only when the call starts.
  bool StartCall(call::CallState mode, std::string_view remoteParty, std::unique_ptr<sip::SipMessage>& invite,
                 std::string_view displayName);

  int Index() const { return index_; }

  // HandOverPeer: the attended transfer of the other line takes this line's call. Any thread.
  bool IsIdle() const override { return Snapshot().state == call::CallState::kIdle; }
  LineAccountKey AccountKey() const override;
  HandOverSlot& Slot() override { return handOver_; }
  sip::DialogRef RequestHandOver() override;

 private:
  class CallThread;
  class Host;
  void RunCall(CallThread& thread);
  // Call thread: waits (at most 10000 ms) until the engine can send; false when the call was
  // hung up or the line shut down meanwhile.
  bool WaitForEngine(CallThread& thread);
  // `endReason`: why the call ended, with the idle state only.
  void Announce(call::CallState state, int ringCount, std::string_view endReason = {});
  void AnnounceHold(bool applied);
  void AnnounceTransfer(TransferKind kind, TransferOutcome outcome);
  void Post(const LineSnapshot& announced);
  // Shutdown's wait for a StartCall under way: its slow part is bounded by the engine's
  // readiness wait.
  static constexpr std::chrono::milliseconds kReservationWait{sip::kDialogAddReadyWaitMs + 2000};

  const int index_;
  SipLineServices services_;
  const std::function<std::string()> section_;
  const std::unique_ptr<LineMedia> media_;

  mutable std::mutex lock_;  // the line lock: guards the fields below
  LineSnapshot snapshot_;
  call::CallState mode_ = call::CallState::kIdle;
  sip::DialogRef dialog_;                   // the new call's dialog until its thread takes it
  std::unique_ptr<sip::SipMessage> invite_;  // the new incoming call's INVITE until then
  std::string dialled_;                      // the new outgoing call's target until then
  CallIdentity identity_;
  std::unique_ptr<CallThread> thread_;
  bool closed_ = false;    // after Shutdown no new call starts
  bool reserved_ = false;  // a StartCall is preparing a call outside the lock
  std::condition_variable reservationEnded_;  // with lock_: reserved_ went false

  LineCommands commands_;  // any thread
  HandOverSlot handOver_;  // any thread (its own lock): the dialog this line gives the other
  std::atomic<bool> holdRequested_{false};  // written on the user-interface thread, read by the call thread
  platform::ThreadChecker uiThread_;  // the listener's thread: SetListener and the posted announcements
  LineListener* listener_ = nullptr;  // user-interface thread only
  platform::PostOwner posts_;  // last: pending announcements go before the line
};

}  // namespace corvina::call
