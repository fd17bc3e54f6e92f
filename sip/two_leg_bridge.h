// The two-leg bridge's thread shell: runs the core on a worker thread of its own, waiting on the
// message events of the legs the core reads, its deadline and the stop request. At the end
// (a leg left, a relay failed, a liveness check failed, or a stop) both legs go to the call
// terminator, which sends an established leg its BYE at once; a leg replaced meanwhile goes
// there as soon as it is replaced.
#pragma once

#include "platform/clock.h"
#include "platform/worker_thread.h"
#include "sip/call_terminator.h"
#include "sip/two_leg_bridge_core.h"

namespace corvina::sip {

class TwoLegBridge final : public platform::WorkerThread {
 public:
  // Both dialogs must have been released by their previous holder (ReleaseHolder).
  TwoLegBridge(DialogRef a, DialogRef b, DialogList& dialogs, CallTerminator& terminator,
               const platform::TickClock& clock);
  ~TwoLegBridge() override;

 protected:
  void Run() override;

 private:
  void HandOver(std::vector<DialogRef> dialogs);

  CallTerminator& terminator_;        // program-wide, outlives the bridge
  const platform::TickClock& clock_;  // fixed at construction
  TwoLegBridgeCore core_;  // the bridge's thread only (while it runs)
};

}  // namespace corvina::sip
