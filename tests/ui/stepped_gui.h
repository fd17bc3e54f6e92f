// The real phone in its Qt window, its loop replaced by a test's steps: RunLoop runs `steps`
// with the frontend and the main window at hand; the steps let the loop run with LoopUntil.
#pragma once

#include <QDeadlineTimer>
#include <QtTest/QTest>
#include <functional>

#include "ui/gui_frontend.h"

namespace corvina::ui {

class SteppedGui final : public GuiFrontend {
 public:
  using Steps = std::function<void(SteppedGui&, app::MainWindow&)>;
  SteppedGui(QApplication& app, platform::TerminationSignals& none, Steps steps)
      : GuiFrontend(app, none), steps_(std::move(steps)) {}
  bool CreateWindow(app::MainWindow& window) override {
    window_ = &window;
    return GuiFrontend::CreateWindow(window);
  }
  int RunLoop() override {
    steps_(*this, *window_);
    return 0;
  }

 private:
  Steps steps_;
  app::MainWindow* window_ = nullptr;
};

// Lets the loop run until `done` holds; false after `timeoutMs`.
template <typename Condition>
bool LoopUntil(Condition done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(20);
  }
  return true;
}

}  // namespace corvina::ui
