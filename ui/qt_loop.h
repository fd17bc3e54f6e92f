// The user-interface thread's services on Qt: posted tasks run through queued calls on the
// application object, and one-shot timers are QTimers keyed by id.
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/ui_queue.h"

namespace corvina::ui {

class QtUiQueue final : public platform::UiQueue {
 public:
  explicit QtUiQueue(QObject* uiObject) : uiObject_(uiObject) {}
  void Post(std::function<void()> task) override;

 private:
  QObject* uiObject_;
};

class QtTimerHost final : public platform::TimerHost {
 public:
  void SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) override;
  void KillTimer(int id) override;

 private:
  std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace corvina::ui
