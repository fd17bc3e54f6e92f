// The user-interface loop of the console phone: one thread that runs batches of posted tasks
// from the attached postbox, fires one-shot timers and calls handlers of watched file
// descriptors (standard input and output, control connections), all from poll() with an
// eventfd to wake it. Each round runs one batch of tasks, then the due timers, then the ready
// descriptors, so a flood of posts cannot starve the other two.
//
// The loop belongs to the thread that constructs it: timers, descriptor watches and Run()
// are for that thread only; Quit() and the postbox's wake-up come from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "platform/event.h"
#include "platform/one_shot_timers.h"
#include "platform/thread_checker.h"
#include "platform/ui_postbox.h"
#include "platform/ui_queue.h"

namespace corvina::platform {

class HeadlessLoop final : public UiWakeup, public TimerHost {
 public:
  HeadlessLoop() = default;
  ~HeadlessLoop() override;
  HeadlessLoop(const HeadlessLoop&) = delete;
  HeadlessLoop& operator=(const HeadlessLoop&) = delete;

  // Runs `postbox`'s tasks from now on; false when another loop is attached to it.
  bool Attach(UiPostbox& postbox);
  // Stops running the postbox's tasks (its pending ones are dropped). The destructor detaches too.
  void Detach() { postbox_.Detach(); }

  void WakeForTasks() override { wake_.Set(); }
  void SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) override;
  void KillTimer(int id) override;

  // Calls `onReadable` whenever `fd` is readable (or closed, or in error). One handler per
  // descriptor; an empty one stops watching for input.
  void WatchFd(int fd, std::function<void()> onReadable);
  // Calls `onWritable` whenever `fd` can take more output (or is in error), until unwatched.
  void WatchWritable(int fd, std::function<void()> onWritable);
  void UnwatchWritable(int fd);
  // Forgets both handlers of `fd`.
  void UnwatchFd(int fd);

  // Runs until Quit(); returns the code given to Quit().
  int Run();
  // One round of the loop from inside a handler (a progress window's wait): waits until one of
  // `sources` is ready (its index; an auto-reset event is consumed; a source ready at the
  // start wins before anything is served), or runs one round of tasks, timers and descriptors
  // (kRoundServed), or `timeoutMs` passes (kWaitTimedOut). kWaitFailed for a failed poll.
  static constexpr int kRoundServed = -3;
  int WaitRound(std::span<const WaitSource> sources, int timeoutMs);
  // True once Quit() was asked for.
  bool Quitting() const { return quit_; }
  // Safe from any thread.
  void Quit(int code = 0);
  // Async-signal-safe form of Quit(0), for SIGINT and SIGTERM handlers.
  void RequestQuitFromSignal();

 private:
  using Clock = std::chrono::steady_clock;
  struct Watch {
    std::function<void()> onReadable;
    std::function<void()> onWritable;
  };
  void FireDueTimers(Clock::time_point now);
  int MsUntilNextTimer() const;
  struct Ready {
    int fd;
    short revents;
  };
  void ServeDescriptors(const std::vector<Ready>& ready);
  int Round(std::span<const WaitSource> sources, int timeoutMs);

  ThreadChecker loopThread_;
  Event wake_;
  PostboxAttachment postbox_{*this};                 // loop thread
  OneShotTimers<Clock::time_point> timers_;          // loop thread
  std::map<int, Watch> watched_;                     // loop thread
  std::atomic<bool> quit_{false};
  std::atomic<int> exitCode_{0};
};

}  // namespace corvina::platform
