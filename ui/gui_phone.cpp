#include "ui/gui_phone.h"

#include <QApplication>
#include <QSocketNotifier>

#include "app/phone_entry.h"
#include "platform/product.h"
#include "platform/termination_signals.h"
#include "ui/qt_loop.h"
#include "ui/qt_main_view.h"

namespace corvina::ui {
namespace {

class GuiFrontend final : public app::PhoneFrontend {
 public:
  GuiFrontend(QApplication& app, platform::TerminationSignals& termination)
      : app_(app), termination_(termination) {}

  void AttachPostbox(platform::UiPostbox& postbox) override { loop_.Attach(postbox); }
  void DetachPostbox() override { loop_.Detach(); }
  platform::TimerHost& Timers() override { return timers_; }
  app::MainView& View() override { return view_; }
  bool CreateWindow(app::MainWindow& window) override {
    if (termination_.Fd() >= 0) {
      // SIGINT and SIGTERM close the window like the Exit command does.
      signalNotifier_ = std::make_unique<QSocketNotifier>(termination_.Fd(), QSocketNotifier::Read);
      QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] {
        if (termination_.Take() != 0) view_.close();
      });
    }
    view_.Attach(&window);
    view_.showMaximized();
    return true;
  }
  int RunLoop() override { return app_.exec(); }
  void DestroyWindow() override { view_.Attach(nullptr); }

 private:
  QApplication& app_;
  platform::TerminationSignals& termination_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  QtUiLoop loop_;
  QtTimerHost timers_;
  QtMainView view_;
};

}  // namespace

int RunGuiPhone(int argc, char** argv, app::ProgramObjects& program, platform::TerminationSignals& termination) {
  // RunPhone() stops every worker and detaches the loop before it returns, so nothing touches
  // the application object or the window after they are gone.
  QApplication app(argc, argv);
  app.setApplicationName(QString::fromUtf8(platform::kProductName.data(), platform::kProductName.size()));
  GuiFrontend frontend(app, termination);
  return app::RunPhone(program, frontend);
}

}  // namespace corvina::ui
