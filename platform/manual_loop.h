// A user-interface loop driven by hand, for tests: posted tasks run when the test calls
// RunPending(), and timers fire when the test advances the loop's own clock.
#pragma once

#include <deque>
#include <mutex>

#include "platform/one_shot_timers.h"
#include "platform/ui_queue.h"

namespace corvina::platform {

class ManualUiQueue final : public UiQueue {
 public:
  void Post(std::function<void()> task) override;
  // Runs the queued tasks, including those they post, until the queue is empty (at most
  // `limit` tasks, so a task that keeps reposting itself cannot hang a test). Returns the count.
  int RunPending(int limit = 10000);
  std::size_t PendingCount();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
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
  std::uint64_t now_ = 0;
  OneShotTimers<std::uint64_t> timers_;
};

}  // namespace corvina::platform
