#include "ui/gui_phone.h"

#include <QApplication>

#include "app/phone_entry.h"
#include "ui/qt_loop.h"
#include "ui/qt_main_view.h"

namespace corvina::ui {
namespace {

class GuiFrontend final : public app::PhoneFrontend {
 public:
  explicit GuiFrontend(QApplication& app) : app_(app), queue_(&app) {}

  platform::UiQueue& Queue() override { return queue_; }
  platform::TimerHost& Timers() override { return timers_; }
  app::MainView& View() override { return view_; }
  bool CreateWindow(app::MainWindow& window) override {
    view_.Attach(&window);
    view_.showMaximized();
    return true;
  }
  int RunLoop() override { return app_.exec(); }
  void DestroyWindow() override { view_.Attach(nullptr); }

 private:
  QApplication& app_;
  QtUiQueue queue_;
  QtTimerHost timers_;
  QtMainView view_;
};

}  // namespace

int RunGuiPhone(int argc, char** argv, app::ProgramObjects& program) {
  QApplication app(argc, argv);
  app.setApplicationName("Corvina");
  GuiFrontend frontend(app);
  return app::RunPhone(program, frontend);
}

}  // namespace corvina::ui
