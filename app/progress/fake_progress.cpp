#include "app/progress/fake_progress.h"

namespace corvina::app {

void FakeProgressWindow::Open(std::string_view windowTitle) {
  title = windowTitle;
  open = true;
  parentEnabled = false;
}

void FakeProgressWindow::Close() {
  open = false;
  parentEnabled = true;
}

bool FakeProgressWindow::Pump() {
  ++pumps;
  // Input due by now is handled; a Cancel among it destroys the window.
  while (!input_.empty() && platform::TickReached(clock_.NowMs(), input_.begin()->first)) {
    if (input_.begin()->second) open = false;
    input_.erase(input_.begin());
  }
  return !open;
}

void FakeProgressWindow::SetText(std::string_view text, int line) {
  if (line == 0 || line == 1) lines[line] = text;
}

void FakeProgressWindow::SetFraction(double fraction) {
  for (int position : BarPositions(fraction)) barPositions.push_back(position);
}

int FakeProgressWindow::WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) {
  const int ready = platform::WaitForAny(sources, 0);
  if (ready != platform::kWaitTimedOut) return ready;
  const std::uint32_t now = clock_.NowMs();
  if (!input_.empty()) {
    const std::uint32_t next = input_.begin()->first;
    if (timeoutMs == platform::kWaitInfinite || platform::TickReached(now + static_cast<std::uint32_t>(timeoutMs), next)) {
      if (!platform::TickReached(now, next)) clock_.Set(next);
      return kInput;
    }
  }
  // Nothing will ever wake an endless wait here: fail it rather than hang the test.
  if (timeoutMs == platform::kWaitInfinite) return platform::kWaitFailed;
  clock_.Advance(static_cast<std::uint32_t>(timeoutMs));
  return platform::kWaitTimedOut;
}

}  // namespace corvina::app
