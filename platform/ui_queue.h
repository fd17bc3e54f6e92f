// The user-interface thread's two services for the rest of the program. Workers never call
// the controller directly: they post a task, which runs later on the user-interface thread.
// Window timers are one-shot and named by an id: setting an id again re-arms it, and a
// handler that wants to repeat sets its timer again.
#pragma once

#include <cstdint>
#include <functional>

namespace corvina::platform {

class UiQueue {
 public:
  virtual ~UiQueue() = default;
  // Safe from any thread; the task runs on the user-interface thread, in posting order.
  virtual void Post(std::function<void()> task) = 0;
};

class TimerHost {
 public:
  virtual ~TimerHost() = default;
  // Arms (or re-arms) timer `id` to call `handler` once on the user-interface thread after
  // `delayMs`.
  virtual void SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) = 0;
  // Disarms timer `id`; nothing happens when it is not armed.
  virtual void KillTimer(int id) = 0;
};

}  // namespace corvina::platform
