#pragma once
// Progress updates made by a worker thread and shown by the user-interface thread: the worker
// pushes, the user-interface thread takes all that is queued when `Changed` is set.

#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/event.h"

namespace corvina::app {

template <typename Update>
class UpdateQueue {
 public:
  // A progress window shows a few dozen updates; past this many the oldest give way.
  static constexpr std::size_t kCapacity = 256;

  // Any thread.
  void Push(Update update) {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= kCapacity) queue_.pop_front();
    queue_.push_back(std::move(update));
    changed_.Set();
  }
  // Any thread: replaces the first queued update that `same` matches (a newer fraction replaces
  // an older one that was not shown yet), or pushes.
  template <typename Same>
  void Replace(Update update, Same same) {
    {
      std::lock_guard lock(mutex_);
      for (Update& queued : queue_) {
        if (same(queued)) {
          queued = std::move(update);
          return;
        }
      }
    }
    Push(std::move(update));
  }
  // User-interface thread: everything queued, oldest first.
  std::deque<Update> Take() {
    std::deque<Update> taken;
    std::lock_guard lock(mutex_);
    changed_.Reset();
    taken.swap(queue_);
    return taken;
  }
  platform::Event& Changed() { return changed_; }

 private:
  std::mutex mutex_;
  std::deque<Update> queue_;                                        // guarded by mutex_
  platform::Event changed_{platform::Event::Mode::kManualReset};  // set while queue_ holds updates
};

}  // namespace corvina::app
