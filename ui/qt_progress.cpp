#include "ui/qt_progress.h"
#include "ui/qt_text.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <vector>

namespace corvina::ui {

namespace {

// Rejects the dialog when a watched window is about to close.
class CloseWatch final : public QObject {
 public:
  explicit CloseWatch(QPointer<QDialog>& dialog) : dialog_(dialog) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close && dialog_) dialog_->reject();
    return false;
  }

 private:
  QPointer<QDialog>& dialog_;
};
}  // namespace

QtProgressWindow::QtProgressWindow(QWidget* parent) : parent_(parent) {}

QtProgressWindow::~QtProgressWindow() { delete dialog_.data(); }

void QtProgressWindow::Open(std::string_view title) {
  auto* dialog = new QDialog(parent_);
  dialog->setObjectName("progressDialog");
  dialog->setAttribute(Qt::WA_DeleteOnClose);  // Cancel and closing the window destroy it
  dialog->setWindowTitle(ToQt(title));
  auto* layout = new QVBoxLayout(dialog);
  for (int i = 0; i < 2; ++i) {
    lines_[i] = new QLabel(dialog);
    lines_[i]->setObjectName(i == 0 ? "progressLine0" : "progressLine1");
    layout->addWidget(lines_[i]);
  }
  bar_ = new QProgressBar(dialog);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  layout->addWidget(bar_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  // Rejected is Cancel, Escape and the window's close button alike; the dialog is deleted later.
  cancelled_ = false;
  QObject::connect(dialog, &QDialog::finished, dialog, [this] { cancelled_ = true; });
  layout->addWidget(buttons);
  dialog->resize(300, dialog->sizeHint().height());
  dialog_ = dialog;
  if (parent_) parent_->setEnabled(false);
  closeWatch_ = std::make_unique<CloseWatch>(dialog_);
  for (QWidget* w = parent_; w != nullptr; w = w->parentWidget()) w->installEventFilter(closeWatch_.get());
  // The dialog stays usable over its disabled parent.
  dialog->setEnabled(true);
  dialog->show();
}

void QtProgressWindow::Close() {
  closeWatch_.reset();  // a deleted filter leaves the windows it watched
  if (parent_) {
    parent_->setEnabled(true);
    parent_->activateWindow();
    parent_->setFocus();
  }
  delete dialog_.data();
  lines_[0] = lines_[1] = nullptr;
  bar_ = nullptr;
}

bool QtProgressWindow::Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return Gone();
}

void QtProgressWindow::ReportError(std::string_view text) {
  // Owned by the dialog, or by the parent once the user cancelled.
  QWidget* owner = dialog_ ? static_cast<QWidget*>(dialog_.data()) : parent_;
  QMessageBox::warning(owner, QStringLiteral("Error"), ToQt(text));
}

void QtProgressWindow::SetText(std::string_view text, int line) {
  if (Gone() || (line != 0 && line != 1)) return;
  lines_[line]->setText(ToQt(text));
  Pump();
}

void QtProgressWindow::SetFraction(double fraction) {
  if (Gone()) return;
  // Near the end the next position first, so the bar is drawn there at once.
  for (int position : app::BarPositions(fraction)) bar_->setValue(std::min(position, bar_->maximum()));
  Pump();
}

void QtProgressWindow::StartIndeterminate() {
  if (Gone()) return;
  bar_->setRange(0, 0);  // Qt's busy indicator
  Pump();
}

void QtProgressWindow::StopIndeterminate() {
  if (Gone()) return;
  bar_->setRange(0, 100);
  Pump();
}

int QtProgressWindow::WaitSourcesOrInput(std::span<const platform::WaitSource> sources, int timeoutMs) {
  // A source ready already ends the wait without handling any input.
  const int ready = platform::WaitForAny(sources, 0);
  if (ready != platform::kWaitTimedOut) return ready;
  if (timeoutMs == 0) return platform::kWaitTimedOut;

  enum class Wake { kNone, kSource, kTimeOut, kGone };
  Wake wake = Wake::kNone;
  QEventLoop loop;
  std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
  notifiers.reserve(sources.size());
  for (const platform::WaitSource& source : sources) {
    auto notifier = std::make_unique<QSocketNotifier>(source.fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop, [&] {
      wake = Wake::kSource;
      loop.quit();
    });
    notifiers.push_back(std::move(notifier));
  }
  QTimer timer;
  timer.setSingleShot(true);
  if (timeoutMs != platform::kWaitInfinite) {
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
      wake = Wake::kTimeOut;
      loop.quit();
    });
    timer.start(timeoutMs);
  }
  const QMetaObject::Connection gone = QObject::connect(dialog_.data(), &QDialog::finished, &loop, [&] {
    wake = Wake::kGone;
    loop.quit();
  });
  loop.exec();
  QObject::disconnect(gone);
  switch (wake) {
    case Wake::kSource: {
      // The notifier only says "readable": the platform wait names the source and consumes it.
      const int index = platform::WaitForAny(sources, 0);
      return index == platform::kWaitTimedOut ? app::CooperativeWaiter::kInput : index;
    }
    case Wake::kTimeOut:
      return platform::kWaitTimedOut;
    default:
      return app::CooperativeWaiter::kInput;
  }
}

}  // namespace corvina::ui
