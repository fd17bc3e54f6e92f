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
  timers_[id] = Timer{now_ + delayMs, sequence_++, std::move(handler)};
}

void ManualTimerHost::KillTimer(int id) { timers_.erase(id); }

bool ManualTimerHost::IsArmed(int id) const { return timers_.count(id) > 0; }

void ManualTimerHost::Advance(std::uint32_t ms) {
  const std::uint64_t target = now_ + ms;
  for (;;) {
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.deadline > target) continue;
      if (due == timers_.end() || it->second.deadline < due->second.deadline ||
          (it->second.deadline == due->second.deadline && it->second.sequence < due->second.sequence)) {
        due = it;
      }
    }
    if (due == timers_.end()) break;
    now_ = due->second.deadline;
    std::function<void()> handler = std::move(due->second.handler);
    timers_.erase(due);  // one-shot: gone before the handler runs, which may re-arm it
    handler();
  }
  now_ = target;
}

}  // namespace corvina::platform
