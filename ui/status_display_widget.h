// The status display (control 150): paints the rows the controller hands over on a white
// ground, every text twice - light at its place, dark grey one pixel right and down. The
// first row uses the panel's large bold font, the second row the medium one, the lower rows
// (registrations when idle, the other party and the digits in a call) the small one; a warning
// row's dark copy is in the warning colour.
#pragma once

#include <QFont>
#include <QWidget>

#include "app/controller/status_display.h"

namespace corvina::ui {

class StatusDisplayWidget final : public QWidget {
  Q_OBJECT

 public:
  explicit StatusDisplayWidget(QWidget* parent);

  void SetRows(const app::DisplayRows& rows);
  const app::DisplayRows& Rows() const { return rows_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  app::DisplayRows rows_;
  QFont titleFont_;
  QFont rowFont_;
  QFont noteFont_;
};

}  // namespace corvina::ui
