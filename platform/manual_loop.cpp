#include "platform/manual_loop.h"

namespace corvina::platform {

void ManualUiQueue::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
}

int ManualUiQueue::RunPending(int limit) {
  int ran = 0;
  while (ran < limit) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) break;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
  return ran;
}

std::size_t ManualUiQueue::PendingCount() {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

void ManualTimerHost::SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) {
  timers_.Set(id, now_ + delayMs, std::move(handler));
}

void ManualTimerHost::KillTimer(int id) { timers_.Kill(id); }

void ManualTimerHost::Advance(std::uint32_t ms) {
  const std::uint64_t target = now_ + ms;
  while (auto due = timers_.TakeDue(target)) {
    now_ = due->first;
    due->second();
  }
  now_ = target;
}

}  // namespace corvina::platform
