#include "app/progress/progress_sink.h"

#include <cmath>

namespace corvina::app {

WaitResult ProgressWindow::Run(std::string_view title, const ProgressOperation& operation) {
  // A second run from inside the first would close the window under it: refuse it as cancelled.
  if (running_) return WaitResult::kCancelled;
  running_ = true;
  Open(title);
  const WaitResult result = operation(*this);
  Close();
  running_ = false;
  return result;
}

std::vector<int> BarPositions(double fraction) {
  if (std::isnan(fraction) || fraction < 0.0) fraction = 0.0;
  if (fraction > 1.0) fraction = 1.0;
  const int position = static_cast<int>(fraction * 100.0);
  if (position >= 99) return {position + 1, position};
  return {position};
}

WaitResult CooperativeWait(CooperativeWaiter& waiter, std::span<const platform::WaitSource> sources, int timeoutMs,
                           bool sleep) {
  if (sources.size() > kMaxProgressWaitSources || (timeoutMs < 0 && timeoutMs != platform::kWaitInfinite)) {
    return WaitResult::kFailed;
  }
  if (waiter.Gone()) return WaitResult::kCancelled;
  int remaining = timeoutMs;
  for (;;) {
    const std::uint32_t before = waiter.NowMs();
    const int ready = waiter.WaitSourcesOrInput(sources, remaining);
    if (ready >= 0) return WaitResult::kDone;
    if (ready == platform::kWaitTimedOut) return sleep ? WaitResult::kDone : WaitResult::kFailed;
    if (ready != CooperativeWaiter::kInput) return WaitResult::kFailed;
    if (waiter.PumpInput()) return WaitResult::kCancelled;
    if (remaining == platform::kWaitInfinite) continue;
    const std::uint32_t elapsed = waiter.NowMs() - before;
    remaining -= elapsed >= static_cast<std::uint32_t>(remaining) ? remaining : static_cast<int>(elapsed);
  }
}

}  // namespace corvina::app
