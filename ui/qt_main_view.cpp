#include "ui/qt_main_view.h"

#include <QMenuBar>
#include <QScrollBar>
#include <QVBoxLayout>

#include "platform/product.h"

namespace corvina::ui {
namespace {
// Level 1 entries stand out in the warning colour; the rest are light grey.
const QColor kErrorColour(0xF6, 0x28, 0x50);
const QColor kNormalColour(0xF0, 0xF0, 0xF0);
}  // namespace

QtMainView::QtMainView() {
  setWindowTitle(QString::fromUtf8(platform::kProductName.data(), platform::kProductName.size()));
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  statusList_ = new QListWidget(central);
  statusList_->setStyleSheet("background: black;");
  statusList_->hide();
  registrationText_ = new QLabel(central);
  registrationText_->hide();
  layout->addStretch(1);
  layout->addWidget(registrationText_);
  layout->addWidget(statusList_);
  setCentralWidget(central);

  QMenu* menu = menuBar()->addMenu("&Menu");
  statusAction_ = menu->addAction("Show Status &Window");
  statusAction_->setCheckable(true);
  connect(statusAction_, &QAction::triggered, this, [this] {
    if (controller_ != nullptr) controller_->ToggleStatusWindow();
  });
  menu->addSeparator();
  connect(menu->addAction("E&xit"), &QAction::triggered, this, [this] { close(); });
  resize(480, 640);
}

void QtMainView::BringToFront() {
  showMaximized();
  raise();
  activateWindow();
}

void QtMainView::RegistrationChanged(const app::LineRegistrationState&) {
  if (controller_ == nullptr) return;
  QStringList lines;
  for (const app::LineRegistrationState& s : controller_->LineRegistrations()) {
    QString state = !s.registers ? "no server" : s.registered ? "registered" : "not registered";
    lines << QString("Line %1: %2 - %3").arg(s.line).arg(QString::fromStdString(s.addressOfRecord), state);
  }
  registrationText_->setText(lines.join('\n'));
}

void QtMainView::ShowStatusWindow(bool visible) {
  statusAction_->setChecked(visible);
  statusList_->setVisible(visible);
  registrationText_->setVisible(visible);
  if (visible) RefreshStatusWindow();
}

void QtMainView::StatusWindowChanged() {
  if (statusList_->isVisible()) RefreshStatusWindow();
}

void QtMainView::RefreshStatusWindow() {
  if (controller_ == nullptr) return;
  // A reader scrolled back into the history keeps seeing the same entries; one at the
  // bottom follows the new ones.
  QScrollBar* bar = statusList_->verticalScrollBar();
  bool following = bar->value() >= bar->maximum();
  int before = statusList_->count();
  int position = bar->value();
  statusList_->clear();
  for (const auto& entry : controller_->Status().Entries()) {
    auto* item = new QListWidgetItem(QString::fromStdString(entry.timeText + " " + entry.message));
    item->setForeground(entry.level == 1 ? kErrorColour : kNormalColour);
    statusList_->addItem(item);
  }
  if (following) {
    statusList_->scrollToBottom();
  } else {
    // When the ring was full, the oldest entry left the top: move up with the rest.
    int dropped = before >= static_cast<int>(app::StatusWindow::kCapacity) ? 1 : 0;
    bar->setValue(position - dropped);
  }
}

}  // namespace corvina::ui
