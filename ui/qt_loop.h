// The user-interface thread's services on Qt: the postbox's batches run as queued calls on
// the Qt event loop, and one-shot timers are QTimers keyed by id (Qt main thread only).
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/thread_checker.h"
#include "platform/ui_postbox.h"
#include "platform/ui_queue.h"

namespace corvina::ui {

class QtUiLoop final : public platform::UiWakeup {
 public:
  QtUiLoop() = default;
  ~QtUiLoop() override { Detach(); }
  QtUiLoop(const QtUiLoop&) = delete;
  QtUiLoop& operator=(const QtUiLoop&) = delete;

  bool Attach(platform::UiPostbox& postbox);
  void Detach();
  // Queues one call that runs a batch; a call still queued when the loop is destroyed is
  // discarded by Qt with `context_`.
  void WakeForTasks() override;

 private:
  platform::ThreadChecker uiThread_;
  QObject context_;
  platform::UiPostbox* postbox_ = nullptr;
};

class QtTimerHost final : public platform::TimerHost {
 public:
  void SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) override;
  void KillTimer(int id) override;

 private:
  platform::ThreadChecker uiThread_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace corvina::ui
