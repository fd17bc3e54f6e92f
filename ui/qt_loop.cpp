#include "ui/qt_loop.h"

#include <QMetaObject>

namespace corvina::ui {

bool QtUiLoop::Attach(platform::UiPostbox& postbox) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (postbox_ != nullptr) return postbox_ == &postbox;
  if (!postbox.Attach(*this)) return false;
  postbox_ = &postbox;
  return true;
}

void QtUiLoop::Detach() {
  if (postbox_ == nullptr) return;
  postbox_->Detach(*this);
  postbox_ = nullptr;
}

void QtUiLoop::WakeForTasks() {
  // Called with the postbox's lock held, so `postbox_` cannot be detached meanwhile.
  platform::UiPostbox* postbox = postbox_;
  QMetaObject::invokeMethod(
      &context_, [this, postbox] { if (postbox_ == postbox) postbox->RunBatch(); }, Qt::QueuedConnection);
}

void QtTimerHost::SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) {
  CORVINA_CHECK_THREAD(uiThread_);
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
  CORVINA_CHECK_THREAD(uiThread_);
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

}  // namespace corvina::ui
