// The user-interface loop of the console phone: one thread that runs posted tasks, fires
// one-shot timers and calls handlers of watched file descriptors (standard input, control
// connections), all from poll() with an eventfd to wake it.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "platform/event.h"
#include "platform/one_shot_timers.h"
#include "platform/ui_queue.h"

namespace corvina::platform {

class HeadlessLoop final : public UiQueue, public TimerHost {
 public:
  void Post(std::function<void()> task) override;
  void SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) override;
  void KillTimer(int id) override;

  // Calls `onReadable` on the loop thread whenever `fd` is readable (or closed). One handler
  // per descriptor; call from the loop thread or before Run().
  void WatchFd(int fd, std::function<void()> onReadable);
  void UnwatchFd(int fd);

  // Runs until Quit(); returns the code given to Quit().
  int Run();
  // Safe from any thread.
  void Quit(int code = 0);
  // Async-signal-safe form of Quit(0), for SIGINT and SIGTERM handlers.
  void RequestQuitFromSignal();

 private:
  using Clock = std::chrono::steady_clock;
  void RunTasks();
  void FireDueTimers();
  int MsUntilNextTimer();

  Event wake_;
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
  OneShotTimers<Clock::time_point> timers_;
  std::map<int, std::function<void()>> watched_;
  std::atomic<bool> quit_{false};
  std::atomic<int> exitCode_{0};
};

}  // namespace corvina::platform
