// Long operations started from a window (importing contacts, sending mail, testing a server)
// run on the user-interface thread inside a modal progress window. The operation gets a
// ProgressSink: it shows two lines of text and a bar, reports errors, and waits for events,
// sockets or time while the window keeps handling input, so Cancel works during any wait.
//
// The sink is Qt-free; the window itself is one of: the Qt dialog (ui/), the console's
// `progress` events with the `cancel` verb (headless_progress.h), or a fake on a fake clock.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/event.h"

namespace corvina::app {

// The result of every waiting operation and of the operations built on them.
enum class WaitResult : int {
  kDone = 0,       // done, or the awaited object was signalled
  kCancelled = 1,  // the user closed the progress window
  kFailed = 2,     // failed or timed out
};

// One wait covers at most this many sources: the window's own input takes the last place.
inline constexpr std::size_t kMaxProgressWaitSources = platform::kMaxWaitSources - 1;

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // Handles all waiting input of the thread; true when the progress window no longer exists.
  virtual bool Pump() = 0;
  // kDone once `ms` have passed, kCancelled when the window closed first.
  virtual WaitResult Sleep(int ms) = 0;
  // kDone when one source was signalled (an auto-reset event is consumed), kCancelled, or
  // kFailed on time-out or on a wait that cannot be made (more than 63 sources, a bad source).
  virtual WaitResult WaitAny(std::span<const platform::WaitSource> sources, int ms) = 0;
  WaitResult WaitOne(platform::WaitSource source, int ms) { return WaitAny({&source, 1}, ms); }
  // A message box titled "Error", owned by the progress window (by its parent once cancelled).
  virtual void ReportError(std::string_view text) = 0;
  // `line` 0 or 1; other lines are ignored.
  virtual void SetText(std::string_view text, int line) = 0;
  // 0.0 to 1.0; out-of-range values are clamped and NaN counts as 0.
  virtual void SetFraction(double fraction) = 0;
  // The bar as a marquee stepping every 100 ms, and back.
  virtual void StartIndeterminate() = 0;
  virtual void StopIndeterminate() = 0;
};

using ProgressOperation = std::function<WaitResult(ProgressSink& sink)>;

// A progress window for one parent. Run() opens it, runs the operation on this thread and
// closes it again. User-interface thread only.
class ProgressWindow : public ProgressSink {
 public:
  // The operation's result; kCancelled at once when this window is already running one.
  WaitResult Run(std::string_view title, const ProgressOperation& operation);
  bool Running() const { return running_; }

 protected:
  // Creates the window with `title` and disables the parent.
  virtual void Open(std::string_view title) = 0;
  // Re-enables and focuses the parent and destroys the window if it still exists.
  virtual void Close() = 0;

 private:
  bool running_ = false;
};

// The bar positions to set, in order, for `fraction`: the percentage truncated, and at 99 or
// more the next position first so the bar jumps there without its animation (0.995 -> 100, 99).
std::vector<int> BarPositions(double fraction);

// What a cooperative wait needs from a window: the tick counter, the platform wait over the
// sources plus the window's own input, and the pump.
class CooperativeWaiter {
 public:
  // WaitSourcesOrInput's answer when input for the window arrived first.
  static constexpr int kInput = -3;
  virtual ~CooperativeWaiter() = default;
  virtual std::uint32_t NowMs() = 0;
  // The index of a ready source, kInput, platform::kWaitTimedOut or platform::kWaitFailed.
  virtual int WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) = 0;
  // Handles the waiting input; true when the window has gone.
  virtual bool PumpInput() = 0;
  // True once the window has gone (without handling input).
  virtual bool Gone() const = 0;
};

// Waits for the sources while the window's input is handled: after each input the elapsed time
// (never more than what remains) is taken off and the wait goes on. A time-out is kFailed, or
// kDone for a `sleep`. `timeoutMs` may be platform::kWaitInfinite.
WaitResult CooperativeWait(CooperativeWaiter& waiter, std::span<const platform::WaitSource> sources, int timeoutMs,
                           bool sleep);

// A progress window whose waits are cooperative: Sleep and WaitAny handle the window's own
// input while they wait. The Qt, headless and fake windows are these.
class CooperativeProgressWindow : public ProgressWindow, protected CooperativeWaiter {
 public:
  WaitResult Sleep(int ms) final { return CooperativeWait(*this, {}, ms, true); }
  WaitResult WaitAny(std::span<const platform::WaitSource> sources, int ms) final {
    return CooperativeWait(*this, sources, ms, false);
  }
};

}  // namespace corvina::app
