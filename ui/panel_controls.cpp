#include "ui/panel_controls.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>

namespace corvina::ui {

LongPressButton::LongPressButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  timer_.setSingleShot(true);
  timer_.setInterval(kDefaultLongPressMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    fired_ = true;
    emit longPressed();
  });
}

void LongPressButton::mousePressEvent(QMouseEvent* event) {
  fired_ = false;
  if (event->button() == Qt::LeftButton) timer_.start();
  QPushButton::mousePressEvent(event);
}

void LongPressButton::mouseReleaseEvent(QMouseEvent* event) {
  timer_.stop();
  if (fired_ && event->button() == Qt::LeftButton) {
    // The long press was the action: let the button come up without a click.
    setDown(false);
    fired_ = false;
    event->accept();
    return;
  }
  QPushButton::mouseReleaseEvent(event);
}

DialBox::DialBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setObjectName("dialBox");
}

void DialBox::showPopup() {
  if (opening_) opening_();
  QComboBox::showPopup();
}

ButtonLook LookOf(app::ButtonImage image) {
  using I = app::ButtonImage;
  switch (image) {
    case I::kLineLit: return {"#ffd23c", "#202020"};
    case I::kLineDark: return {"#4a4a4a", "#ffffff"};
    case I::kCallSomethingToDo: return {"#2fa84f", "#ffffff"};
    case I::kCallNothingToDo: return {"#9cc9a8", "#f4f4f4"};
    case I::kHangUpCall: return {"#d83a3a", "#ffffff"};
    case I::kHangUpTransfer: return {"#e08a2c", "#ffffff"};  // also Transfer pending
    case I::kHangUpClearText: return {"#e0a0a0", "#ffffff"};
    case I::kHangUpIdle: return {"#d9b5b5", "#f4f4f4"};
    case I::kTransferNormal:
    case I::kRecordOff:
    case I::kDndOff:
    case I::kHold:
    case I::kConferenceNormal:
    case I::kIntercom: return {"#dfe6ee", "#202020"};
    case I::kRecordOn: return {"#c02040", "#ffffff"};
    case I::kDndOn: return {"#7040a0", "#ffffff"};
    case I::kConferenceRunning: return {"#2c7be0", "#ffffff"};
  }
  return {"#dfe6ee", "#202020"};
}

QString StyleFor(app::ButtonImage image, bool pressed) {
  const ButtonLook look = LookOf(image);
  return QString("QPushButton { background: %1; color: %2; border: %3px %4 #303030; border-radius: 4px;"
                 " font-weight: bold; }"
                 " QPushButton:disabled { color: #a0a0a0; background: #e8e8e8; }")
      .arg(look.background, look.foreground, pressed ? "3" : "1", pressed ? "inset" : "solid");
}

void FitLabel(QPushButton& button, int width) {
  constexpr int kMargin = 4;  // each side, inside the border
  QFont font = QApplication::font(&button);
  font.setBold(true);
  int pixels = QFontInfo(font).pixelSize();
  font.setPixelSize(pixels);
  while (pixels > kMinLabelPixels && QFontMetrics(font).horizontalAdvance(button.text()) > width - 2 * kMargin) {
    font.setPixelSize(--pixels);
  }
  if (button.font() != font) button.setFont(font);
}

}  // namespace corvina::ui
