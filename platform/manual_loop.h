// A user-interface loop driven by hand, for tests: posted tasks run when the test calls
// RunPending(), and timers fire when the test advances the loop's own clock. Both belong to
// the thread that constructs them.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/one_shot_timers.h"
#include "platform/thread_checker.h"
#include "platform/ui_postbox.h"
#include "platform/ui_queue.h"

namespace corvina::platform {

class ManualUiLoop final : public UiWakeup {
 public:
  // Attaches to `postbox` at once and detaches when destroyed.
  explicit ManualUiLoop(UiPostbox& postbox);
  ~ManualUiLoop() override;
  ManualUiLoop(const ManualUiLoop&) = delete;
  ManualUiLoop& operator=(const ManualUiLoop&) = delete;

  void WakeForTasks() override { ++wakes_; }
  // Runs batches until nothing is pending (at most `limit` tasks, so a task that keeps
  // reposting itself cannot hang a test). Returns the count.
  int RunPending(int limit = 10000);
  // Runs one batch: the tasks pending now, not those they post.
  int RunOneBatch() { return static_cast<int>(postbox_.RunBatch()); }
  std::size_t PendingCount() const { return postbox_.PendingCount(); }
  // How often the postbox asked for a batch.
  std::uint64_t Wakes() const { return wakes_; }
  UiPostbox& Postbox() { return postbox_; }

 private:
  UiPostbox& postbox_;
  std::atomic<std::uint64_t> wakes_{0};
};

class ManualTimerHost final : public TimerHost {
 public:
  void SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) override;
  void KillTimer(int id) override;
  // Moves the clock forward, firing due timers in deadline order (a handler may set timers).
  void Advance(std::uint32_t ms);
  bool IsArmed(int id) const { return timers_.IsArmed(id); }
  std::uint64_t Now() const { return now_; }

 private:
  ThreadChecker uiThread_;
  std::uint64_t now_ = 0;
  OneShotTimers<std::uint64_t> timers_;
};

}  // namespace corvina::platform
