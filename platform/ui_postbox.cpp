#include "platform/ui_postbox.h"

#include <utility>
#include <vector>

namespace corvina::platform {

UiPostbox::UiPostbox(std::size_t capacity) : capacity_(capacity) {}

UiPostbox::~UiPostbox() {
  std::deque<Item> dropped;
  std::lock_guard lock(mutex_);
  dropped.swap(queue_);
}

bool UiPostbox::Post(UiTask task, PostOwnerId owner) {
  std::unique_lock lock(mutex_);
  if (loop_ == nullptr) {
    ++counters_.droppedDetached;
    lock.unlock();  // the task is destroyed outside the lock: its captures may post
    return false;
  }
  if (queue_.size() >= capacity_) {
    ++counters_.droppedFull;
    lock.unlock();
    return false;
  }
  queue_.push_back(Item{nextSequence_++, owner, std::move(task)});
  if (!wakePending_) {
    wakePending_ = true;
    loop_->WakeForTasks();
  }
  return true;
}

PostOwnerId UiPostbox::NewPostOwner() {
  std::lock_guard lock(mutex_);
  return nextOwner_++;
}

void UiPostbox::CancelPosts(PostOwnerId owner) {
  if (owner == kNoPostOwner) return;
  std::vector<Item> cancelled;
  {
    std::lock_guard lock(mutex_);
    std::deque<Item> kept;
    for (Item& item : queue_) {
      if (item.owner == owner) {
        cancelled.push_back(std::move(item));
      } else {
        kept.push_back(std::move(item));
      }
    }
    queue_.swap(kept);
    counters_.cancelled += cancelled.size();
  }
}

bool UiPostbox::Attach(UiWakeup& loop) {
  std::lock_guard lock(mutex_);
  if (loop_ != nullptr) return loop_ == &loop;
  loop_ = &loop;
  wakePending_ = false;
  uiThread_.Detach();
  return true;
}

void UiPostbox::Detach(UiWakeup& loop) {
  std::deque<Item> dropped;
  std::lock_guard lock(mutex_);
  if (loop_ != &loop) return;
  loop_ = nullptr;
  counters_.droppedDetached += queue_.size();
  dropped.swap(queue_);
  // `dropped` is destroyed after the lock is released (declared before it).
}

bool UiPostbox::IsAttached() const {
  std::lock_guard lock(mutex_);
  return loop_ != nullptr;
}

std::size_t UiPostbox::RunBatch(std::size_t limit) {
  CORVINA_CHECK_THREAD(uiThread_);
  std::uint64_t last = 0;
  {
    std::lock_guard lock(mutex_);
    wakePending_ = false;
    if (loop_ == nullptr || queue_.empty()) return 0;
    last = queue_.back().sequence;
  }
  std::size_t ran = 0;
  while (ran < limit) {
    UiTask task;
    {
      std::lock_guard lock(mutex_);
      // Cancelled tasks and a detach during the batch have already left the queue.
      if (queue_.empty() || queue_.front().sequence > last) break;
      task = std::move(queue_.front().task);
      queue_.pop_front();
      ++counters_.ran;
    }
    task();
    ++ran;
  }
  if (ran == limit) {
    // Stopped early: what is left still needs a wake-up.
    std::lock_guard lock(mutex_);
    if (loop_ != nullptr && !queue_.empty() && !wakePending_) {
      wakePending_ = true;
      loop_->WakeForTasks();
    }
  }
  return ran;
}

std::size_t UiPostbox::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

UiPostbox::Counters UiPostbox::GetCounters() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

}  // namespace corvina::platform
