// The user-interface thread's two services for the rest of the program. Workers never call
// the controller directly: they post a task, which runs later on the user-interface thread.
// Window timers are one-shot and named by an id: setting an id again re-arms it, and a
// handler that wants to repeat sets its timer again.
//
// A task may belong to an owner (an object on the user-interface thread that the task refers
// to, such as a phone line or a view). The owner holds a PostOwner; destroying it cancels the
// owner's pending tasks, so the object can go away while workers still post for it.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/unique_function.h"

namespace corvina::platform {

// A task for the user-interface thread; it may be move-only.
using UiTask = UniqueFunction<void()>;
// Names the owner of posted tasks; kNoPostOwner for tasks that belong to nobody.
using PostOwnerId = std::uint64_t;
inline constexpr PostOwnerId kNoPostOwner = 0;

class UiQueue {
 public:
  virtual ~UiQueue() = default;
  // Safe from any thread; never blocks (a real-time thread may post). The task runs on the
  // user-interface thread, in posting order. It is dropped instead - destroyed on the calling
  // thread, and Post() returns false - when no user-interface loop is attached or the queue is
  // full; it is destroyed unrun when its owner is cancelled first.
  virtual bool Post(UiTask task, PostOwnerId owner = kNoPostOwner) = 0;
  // A new owner id, never kNoPostOwner and never handed out twice.
  virtual PostOwnerId NewPostOwner() = 0;
  // Destroys every pending task of `owner` (a task already running finishes). Any thread.
  virtual void CancelPosts(PostOwnerId owner) = 0;
};

// The owner token: an object that posts tasks referring to itself holds one as its last
// member, so that its pending tasks are cancelled before the rest of it is destroyed. Destroy
// it on the user-interface thread (where its tasks run), or once no task of it can be running.
class PostOwner {
 public:
  explicit PostOwner(UiQueue& queue) : queue_(queue), id_(queue.NewPostOwner()) {}
  ~PostOwner() { queue_.CancelPosts(id_); }
  PostOwner(const PostOwner&) = delete;
  PostOwner& operator=(const PostOwner&) = delete;

  // Posts a task that belongs to this owner. Safe from any thread.
  bool Post(UiTask task) { return queue_.Post(std::move(task), id_); }
  // Cancels the pending tasks now; the token stays usable.
  void CancelPending() { queue_.CancelPosts(id_); }
  PostOwnerId Id() const { return id_; }
  UiQueue& Queue() const { return queue_; }

 private:
  UiQueue& queue_;
  const PostOwnerId id_;
};

class TimerHost {
 public:
  virtual ~TimerHost() = default;
  // Arms (or re-arms) timer `id` to call `handler` once on the user-interface thread after
  // `delayMs`. User-interface thread only.
  virtual void SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) = 0;
  // Disarms timer `id`; nothing happens when it is not armed. User-interface thread only.
  virtual void KillTimer(int id) = 0;
};

}  // namespace corvina::platform
