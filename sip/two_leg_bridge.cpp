#include "sip/two_leg_bridge.h"

namespace corvina::sip {

TwoLegBridge::TwoLegBridge(DialogRef a, DialogRef b, DialogList& dialogs, CallTerminator& terminator,
                           const platform::TickClock& clock)
    : WorkerThread("TwoLegBridge"),
      terminator_(terminator),
      clock_(clock),
      core_(dialogs, std::move(a), std::move(b), clock.NowMs()) {}

TwoLegBridge::~TwoLegBridge() { StopAndJoin(); }

void TwoLegBridge::HandOver(std::vector<DialogRef> dialogs) {
  for (DialogRef& d : dialogs) terminator_.HandOver(std::move(d));
}

void TwoLegBridge::Run() {
  core_.AdoptNextThread();
  while (!StopRequested()) {
    const BridgeStep step = core_.Step(clock_.NowMs());
    HandOver(core_.TakeReplaced());
    if (step.ended) break;
    platform::WaitSource sources[2];
    int count = 0;
    for (int i = 0; i < 2; ++i) {
      platform::Event* event = core_.MessageEvent(i);
      if (step.watch[static_cast<std::size_t>(i)] && event) sources[count++] = platform::WaitSource::Of(*event);
    }
    int index = 0;
    WaitAny(std::span<const platform::WaitSource>(sources, static_cast<std::size_t>(count)), step.waitMs, &index);
  }
  HandOver(core_.Finish(clock_.NowMs()));
}

}  // namespace corvina::sip
