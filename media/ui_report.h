// Reports from a device thread to the user-interface thread that never flood its queue: at
// most one task is pending at a time, and it delivers the latest value when it runs. The
// owner lives on the user-interface thread; once it is gone, tasks still queued do nothing.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/thread_checker.h"
#include "platform/ui_queue.h"

namespace corvina::media {

template <typename T>
class UiReport {
 public:
  UiReport(platform::UiQueue& queue, std::function<void(const T&)> onUiThread)
      : queue_(queue), state_(std::make_shared<State>()) {
    state_->deliver = std::move(onUiThread);
  }
  ~UiReport() {
    CORVINA_CHECK_THREAD(uiThread_);
    state_->deliver = nullptr;
  }
  UiReport(const UiReport&) = delete;
  UiReport& operator=(const UiReport&) = delete;

  // Any thread: keeps `value` as the latest and posts a task unless one is already pending.
  void Report(const T& value) {
    {
      std::lock_guard lock(state_->mutex);
      state_->latest = value;
    }
    if (state_->pending.exchange(true)) return;
    const bool posted = queue_.Post([state = state_] {
      state->pending = false;
      T value;
      {
        std::lock_guard lock(state->mutex);
        value = state->latest;
      }
      if (state->deliver) state->deliver(value);
    });
    // A dropped task (no loop attached, or the postbox full) must not block later reports.
    if (!posted) state_->pending = false;
  }

 private:
  struct State {
    std::function<void(const T&)> deliver;  // user-interface thread only
    std::mutex mutex;                       // guards latest
    T latest{};
    std::atomic<bool> pending{false};  // a task is posted and has not run yet
  };

  platform::UiQueue& queue_;
  std::shared_ptr<State> state_;
  platform::ThreadChecker uiThread_;
};

}  // namespace corvina::media
