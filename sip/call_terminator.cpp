#include "sip/call_terminator.h"

#include <algorithm>

namespace corvina::sip {

CallTerminator::CallTerminator(DialogList& dialogs, const platform::TickClock& clock)
    : WorkerThread("CallTerminator"), dialogs_(dialogs), clock_(clock), core_(dialogs) {}

CallTerminator::~CallTerminator() { StopAndJoin(); }

void CallTerminator::HandOver(DialogRef dialog, std::optional<PendingInvite> pending) {
  if (!dialog) return;
  TerminationRecord record = StartTermination(std::move(dialog), std::move(pending), clock_.NowMs());
  record.dialog->ReleaseHolder();
  std::optional<TerminationRecord> overflow;
  {
    std::lock_guard lock(lock_);
    // Bounded even while the worker is not running: the oldest waiting hand-over goes.
    if (handedOver_.size() >= kMaxTerminationRecords) {
      overflow = std::move(handedOver_.front());
      handedOver_.erase(handedOver_.begin());
    }
    handedOver_.push_back(std::move(record));
    idle_.Reset();
    wake_.Set();
  }
  if (overflow) dialogs_.Remove(overflow->dialog.get());
}

void CallTerminator::Run() {
  core_.AdoptNextThread();  // a restart runs the core on a new thread
  std::vector<platform::WaitSource> sources;
  while (!StopRequested()) {
    {
      std::lock_guard lock(lock_);
      wake_.Reset();
      for (TerminationRecord& r : handedOver_) core_.Add(std::move(r));
      handedOver_.clear();
    }
    TerminatorCycle cycle = core_.RunCycle(clock_.NowMs());
    {
      std::lock_guard lock(lock_);
      if (cycle.idle && handedOver_.empty()) idle_.Set();
    }
    if (cycle.poll) {
      Sleep(std::min(cycle.waitMs, kPollIntervalMs));
      continue;
    }
    sources.clear();
    sources.push_back(platform::WaitSource::Of(StopEvent()));
    sources.push_back(platform::WaitSource::Of(wake_));
    for (platform::Event* e : cycle.events) sources.push_back(platform::WaitSource::Of(*e));
    platform::WaitForAny(sources, std::max(cycle.waitMs, 0));
  }
}

void CallTerminator::StartIfStopped() {
  if (IsRunning()) return;
  Join();
  Start();
}

bool CallTerminator::RaiseAndWaitIdle(int timeoutMs) {
  return platform::WaitForAny({platform::WaitSource::Of(idle_)}, timeoutMs) == 0;
}

void CallTerminator::Stop() { StopAndJoin(); }

}  // namespace corvina::sip
