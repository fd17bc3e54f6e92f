#include "platform/manual_loop.h"

namespace corvina::platform {

ManualUiLoop::ManualUiLoop(UiPostbox& postbox) : postbox_(postbox) { postbox_.Attach(*this); }

ManualUiLoop::~ManualUiLoop() { postbox_.Detach(*this); }

int ManualUiLoop::RunPending(int limit) {
  int ran = 0;
  while (ran < limit) {
    std::size_t n = postbox_.RunBatch(static_cast<std::size_t>(limit - ran));
    if (n == 0) break;
    ran += static_cast<int>(n);
  }
  return ran;
}

void ManualTimerHost::SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) {
  CORVINA_CHECK_THREAD(uiThread_);
  timers_.Set(id, now_ + delayMs, std::move(handler));
}

void ManualTimerHost::KillTimer(int id) {
  CORVINA_CHECK_THREAD(uiThread_);
  timers_.Kill(id);
}

void ManualTimerHost::Advance(std::uint32_t ms) {
  CORVINA_CHECK_THREAD(uiThread_);
  const std::uint64_t target = now_ + ms;
  while (auto due = timers_.TakeDue(target)) {
    now_ = due->first;
    due->second();
  }
  now_ = target;
}

}  // namespace corvina::platform
