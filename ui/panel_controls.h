// The main window's own controls: a button that tells a long press from a click, the dial box
// (an editable drop-down whose list is filled as it opens), and the drawn state buttons, whose
// look follows the controller's image numbers.
#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/controller/button_images.h"

namespace corvina::ui {

// Emits longPressed() when held for `longPressMs`; a press that became a long press gives no
// clicked().
class LongPressButton final : public QPushButton {
  Q_OBJECT

 public:
  static constexpr int kDefaultLongPressMs = 800;

  LongPressButton(const QString& text, QWidget* parent);
  void SetLongPressMs(int ms) { timer_.setInterval(ms); }

 signals:
  void longPressed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QTimer timer_;
  bool fired_ = false;
};

class DialBox final : public QComboBox {
  Q_OBJECT

 public:
  explicit DialBox(QWidget* parent);
  // Called just before the list opens, so that the controller can fill it.
  void SetOpeningHandler(std::function<void()> handler) { opening_ = std::move(handler); }
  void showPopup() override;

 private:
  std::function<void()> opening_;
};

// How a drawn button shows one of the controller's images: its colours and whether it looks
// pressed in.
struct ButtonLook {
  const char* background;
  const char* foreground;
};
ButtonLook LookOf(app::ButtonImage image);
QString StyleFor(app::ButtonImage image, bool pressed);

// Gives `button` the largest bold font, from the application's size down to kMinLabelPixels,
// in which its label fits `width`: a narrow window shrinks the labels instead of clipping them.
inline constexpr int kMinLabelPixels = 8;
void FitLabel(QPushButton& button, int width);

}  // namespace corvina::ui
