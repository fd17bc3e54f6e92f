// Pictures of the Networking Setup Wizard for the documentation: the real tool in the window's
// progress page, caught at its firewall question, and its closing "Manual Router Setup Required"
// box. Silent STUN servers and no gateway make that way happen; run it where nothing else is
// reachable, e.g. `ip netns exec NS xvfb-run -a ui_nettool_shots DIR` in a namespace with only lo
// up. Writes DIR/nettool-question.png and DIR/nettool-manual-setup.png.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/nettest_window.h"
#include "app/program_objects.h"
#include "ui/qt_loop.h"
#include "ui/qt_main_view.h"
#include "ui/qt_progress.h"

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool ShootScreen(std::initializer_list<const QWidget*> widgets, const QString& file) {
  QRect area;
  for (const QWidget* w : widgets) area |= w->frameGeometry();
  area.adjust(-8, -8, 8, 8);
  return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvina;
  if (argc != 2) {
    std::fprintf(stderr, "usage: ui_nettool_shots FOLDER\n");
    return 2;
  }
  setenv("CORVINA_STUN_SERVERS", "127.0.0.1:9", 1);
  setenv("CORVINA_LOCAL_ADDRESS", "192.168.1.23", 1);
  QApplication qt(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir dir;
  app::ProgramObjects program(platform::PhonePaths{dir.filePath("registry.db").toStdString(),
                                                   dir.filePath("Documents").toStdString(), dir.filePath("run").toStdString()});
  ui::QtUiLoop loop;
  loop.Attach(program.postbox);
  ui::QtMainView view;
  view.setGeometry(0, 0, 480, 800);
  view.show();
  platform::PostOwner posts(program.postbox);
  bool questionShot = false;
  // Every firewall question is shot once and answered No.
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->icon() != QMessageBox::Question) return;
    auto* progress = static_cast<ui::QtProgressWindow*>(view.ToolProgress());
    if (!questionShot && progress->Dialog() != nullptr) {
      box->move(progress->Dialog()->frameGeometry().left(), progress->Dialog()->frameGeometry().bottom() + 12);
      Settle();
      questionShot = ShootScreen({progress->Dialog(), box}, folder + "/nettool-question.png");
    }
    box->button(QMessageBox::No)->click();
  });
  watcher.start(300);
  app::RunNetworkToolInWindow({program, view, posts, false, {}, {}});
  watcher.stop();
  Settle();
  bool manualShot = false;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (box != nullptr && box->isVisible() && box->windowTitle() == "Manual Router Setup Required") {
      manualShot = ShootScreen({box}, folder + "/nettool-manual-setup.png");
    }
  }
  loop.Detach();
  return questionShot && manualShot ? 0 : 1;
}
