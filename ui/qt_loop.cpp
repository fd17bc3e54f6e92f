#include "ui/qt_loop.h"

#include <QMetaObject>

namespace corvina::ui {

void QtUiQueue::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(uiObject_, std::move(task), Qt::QueuedConnection);
}

void QtTimerHost::SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) {
  auto& timer = timers_[id];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
  }
  timer->stop();
  QObject::disconnect(timer.get(), &QTimer::timeout, nullptr, nullptr);
  QObject::connect(timer.get(), &QTimer::timeout, [handler = std::move(handler)] { handler(); });
  timer->start(static_cast<int>(delayMs));
}

void QtTimerHost::KillTimer(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

}  // namespace corvina::ui
