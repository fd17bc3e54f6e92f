// Records the thread that owns an object and checks, in debug builds, that the entry points
// which must run on that thread are called there. The owner is the thread that constructed
// the checker, or the first caller after Detach() (an object built on one thread and handed to
// the thread that will own it detaches once).
#pragma once

#include <atomic>
#include <cassert>
#include <thread>

namespace corvina::platform {

class ThreadChecker {
 public:
  ThreadChecker() : owner_(std::this_thread::get_id()) {}

  // True on the owning thread (a detached checker adopts the calling thread).
  bool IsCurrent() const {
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id expected{};
    if (owner_.compare_exchange_strong(expected, self)) return true;
    return expected == self;
  }

  // Forgets the owner; the next IsCurrent() caller becomes it.
  void Detach() { owner_.store(std::thread::id{}); }

 private:
  mutable std::atomic<std::thread::id> owner_;
};

}  // namespace corvina::platform

// Fails loudly in debug builds when called off the checker's thread.
#define CORVINA_CHECK_THREAD(checker) assert((checker).IsCurrent() && "called off its owning thread")
