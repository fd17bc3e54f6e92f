// The call terminator: the program-wide worker that ends the dialogs handed to it. Call
// threads hand a dialog over (the BYE or CANCEL owed goes out at once on the handing thread);
// the worker takes what the far end still sends, retransmits, gives up on schedule and drops
// each dialog 300 s after its hand-over. The engine thread starts it, and before an orderly
// stop waits for its idle event so that owed BYEs and CANCELs get out.
//
// The worker runs at the scheduler's normal priority: an unprivileged Linux thread that lowers
// its own priority cannot raise it again, so RaiseAndWaitIdle() only waits.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/worker_thread.h"
#include "sip/call_terminator_core.h"
#include "sip/dialog_list.h"
#include "sip/dialog_router.h"

namespace corvina::sip {

class CallTerminator final : public platform::WorkerThread, public TerminatorControl {
 public:
  // `dialogs` is the engine's list, from which expired dialogs are taken out; `clock` gives the
  // tick count the dialogs' endpoint gives.
  CallTerminator(DialogList& dialogs, const platform::TickClock& clock);
  ~CallTerminator() override;

  // Any thread that holds `dialog` (ownership passes). An established dialog is sent its BYE;
  // otherwise `pending` names the INVITE still without a final response, whose CANCEL goes out
  // once a provisional response has been seen. Clears the idle event and wakes the worker.
  void HandOver(DialogRef dialog, std::optional<PendingInvite> pending = std::nullopt);

  // Set while nothing is left to retransmit.
  platform::Event& IdleEvent() { return idle_; }

  void StartIfStopped() override;
  bool RaiseAndWaitIdle(int timeoutMs) override;
  void Stop() override;

 protected:
  void Run() override;

 private:
  DialogList& dialogs_;
  const platform::TickClock& clock_;

  std::mutex lock_;
  std::vector<TerminationRecord> handedOver_;  // guarded by lock_; the worker moves them into core_

  platform::Event wake_{platform::Event::Mode::kManualReset};                // reset at each cycle's start
  platform::Event idle_{platform::Event::Mode::kManualReset, /*initiallySet=*/true};  // changed under lock_

  TerminatorCore core_;  // worker thread only (while it runs)
};

}  // namespace corvina::sip
