// Pictures of the main window for the documentation: portrait and landscape, idle, with the
// first menu open; the smallest window (300x400) with the status pane. Run on a real X display
// (xvfb-run); writes FOLDER/main-window-{portrait,landscape,status}.png.
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/controller/status_display.h"
#include "platform/clock.h"
#include "ui/qt_main_view.h"

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Shoot(corvina::ui::QtMainView& view, int width, int height, const QString& file, bool withMenu = true) {
  view.setGeometry(0, 0, width, height);
  view.show();
  Settle();
  QMenuBar* bar = view.menuBar();
  QAction* first = bar->actions().value(0);
  if (first == nullptr || first->menu() == nullptr) return false;
  // The menu opens beside the window so that it hides nothing of the panel; the picture is
  // taken from the screen, since the open menu is a window of its own.
  const QRect frame = view.frameGeometry();
  if (withMenu) first->menu()->popup(QPoint(frame.right() + 8, view.mapToGlobal(bar->geometry().bottomLeft()).y()));
  Settle();
  const int menuWidth = withMenu ? first->menu()->width() + 16 : 0;
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width() + menuWidth,
                                                              frame.height());
  first->menu()->hide();
  return shot.save(file, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ui_window_shots FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  corvina::platform::SystemWallClock clock;
  corvina::app::StatusDisplay display(clock);
  corvina::ui::QtMainView view;
  view.PaintDisplay(display.Paint());
  // A number typed: Call has something to do and Hang up would clear it.
  view.SetDialText("sip:200@127.0.0.1");
  view.SetButtonImage(corvina::app::ControlId::kCall, corvina::app::ButtonImage::kCallSomethingToDo, false);
  view.SetButtonImage(corvina::app::ControlId::kHangUp, corvina::app::ButtonImage::kHangUpClearText, false);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const bool ok = Shoot(view, 480, 800, folder + "/main-window-portrait.png") &&
                  Shoot(view, 900, 520, folder + "/main-window-landscape.png");
  // The status pane with the lines' registration above the activity entries.
  view.ShowStatusWindow(true);
  view.RegistrationText()->setText("Line 1: sip:100@registrar.example.net:5060 - not registered\nLine 2: -");
  for (const char* entry : {"23:10:02 Register authorization failed for sip:100@registrar.example.net:5060",
                            "23:10:02 Error returned : 401 Unauthorized"}) {
    (new QListWidgetItem(entry, view.StatusWindowList()))->setForeground(QColor(0xF0, 0xF0, 0xF0));
  }
  return ok && Shoot(view, 300, 400, folder + "/main-window-status.png", false) ? 0 : 1;
}
