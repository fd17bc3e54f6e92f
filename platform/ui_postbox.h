// The one postbox of the user-interface thread. It belongs to the program-wide objects and
// outlives every worker; the user-interface loop of the moment (the Qt loop, the console
// phone's loop, a test's hand-driven loop) attaches to it and detaches again. Workers post
// through the UiQueue interface whether a loop is attached or not: without one, a task is
// dropped, never queued for a loop that is gone.
//
// The postbox is bounded. When it is full a new task is dropped and counted - posting never
// blocks, since audio and network threads post too. A loop runs the tasks in batches: one
// batch is what was queued when it began, so a task posted while a batch runs waits for the
// next round of the loop, after its timers and descriptors had their turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/thread_checker.h"
#include "platform/ui_queue.h"

namespace corvina::platform {

// What a user-interface loop gives the postbox: a way to be woken from any thread.
class UiWakeup {
 public:
  virtual ~UiWakeup() = default;
  // Tasks are waiting: call UiPostbox::RunBatch() on the user-interface thread soon. Called
  // from any thread with the postbox's lock held, so it must not call back into the postbox.
  virtual void WakeForTasks() = 0;
};

class UiPostbox final : public UiQueue {
 public:
  static constexpr std::size_t kDefaultCapacity = 4096;

  struct Counters {
    std::uint64_t ran = 0;
    std::uint64_t droppedDetached = 0;  // posted while no loop was attached, or left at Detach
    std::uint64_t droppedFull = 0;      // posted while the postbox held `capacity` tasks
    std::uint64_t cancelled = 0;        // cancelled with their owner
  };

  explicit UiPostbox(std::size_t capacity = kDefaultCapacity);
  ~UiPostbox() override;
  UiPostbox(const UiPostbox&) = delete;
  UiPostbox& operator=(const UiPostbox&) = delete;

  bool Post(UiTask task, PostOwnerId owner = kNoPostOwner) override;
  PostOwnerId NewPostOwner() override;
  void CancelPosts(PostOwnerId owner) override;

  // Attaches a loop; false when another one is attached. The thread that runs the batches
  // from now on is the user-interface thread.
  bool Attach(UiWakeup& loop);
  // Detaches `loop` (nothing happens when it is not the attached one) and drops the pending
  // tasks. Once it returns, `loop` is never woken again, so it may be destroyed.
  void Detach(UiWakeup& loop);
  bool IsAttached() const;

  // Runs the tasks that were pending when it was called, at most `limit` of them, and returns
  // how many ran. Tasks posted meanwhile wake the loop for the next batch. User-interface
  // thread only.
  std::size_t RunBatch(std::size_t limit = SIZE_MAX);

  std::size_t PendingCount() const;
  std::size_t Capacity() const { return capacity_; }
  Counters GetCounters() const;

 private:
  struct Item {
    std::uint64_t sequence;
    PostOwnerId owner;
    UiTask task;
  };

  const std::size_t capacity_;
  ThreadChecker uiThread_;  // adopts the first thread to run a batch after each Attach()

  mutable std::mutex mutex_;  // guards everything below
  UiWakeup* loop_ = nullptr;
  bool wakePending_ = false;  // the loop was woken and has not started a batch since
  std::deque<Item> queue_;
  std::uint64_t nextSequence_ = 1;
  PostOwnerId nextOwner_ = kNoPostOwner + 1;
  Counters counters_;
};

}  // namespace corvina::platform
