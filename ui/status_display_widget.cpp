#include "ui/status_display_widget.h"

#include <QPainter>
#include <QScreen>

#include "app/controller/panel_metrics.h"

namespace corvina::ui {
namespace {

QColor Colour(std::uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

QFont PanelFont(const app::FontSpec& spec) {
  QFont font;
  font.setPixelSize(spec.height > 0 ? spec.height : 1);
  font.setWeight(static_cast<QFont::Weight>(spec.weight));
  return font;
}

// Light first, then the dark (or warning) copy one pixel right and down.
void DrawTwice(QPainter& painter, const QRect& box, int flags, const QString& text, bool warning = false) {
  using Look = app::DisplayLook;
  painter.setPen(Colour(Look::kTextLight));
  painter.drawText(box, flags, text);
  painter.setPen(Colour(warning ? Look::kWarning : Look::kTextDark));
  painter.drawText(box.translated(Look::kShadowOffset, Look::kShadowOffset), flags, text);
}

}  // namespace

StatusDisplayWidget::StatusDisplayWidget(QWidget* parent) : QWidget(parent) {
  setObjectName("display");
  const QScreen* screen = parent != nullptr && parent->screen() != nullptr ? parent->screen() : nullptr;
  const int dpi = screen != nullptr ? static_cast<int>(screen->logicalDotsPerInchY() + 0.5) : 96;
  const auto fonts = app::PanelFonts(dpi);
  titleFont_ = PanelFont(fonts[0]);
  rowFont_ = PanelFont(fonts[3]);
  noteFont_ = PanelFont(fonts[2]);
  rows_.title = "";
}

void StatusDisplayWidget::SetRows(const app::DisplayRows& rows) {
  rows_ = rows;
  update();
}

void StatusDisplayWidget::paintEvent(QPaintEvent*) {
  using Look = app::DisplayLook;
  QPainter painter(this);
  painter.fillRect(rect(), Colour(Look::kBackground));
  painter.setBackgroundMode(Qt::TransparentMode);

  painter.setFont(titleFont_);
  const int titleHeight = QFontMetrics(titleFont_).height();
  DrawTwice(painter, QRect(Look::kTextX, 0, width() - Look::kTextX, titleHeight), Qt::AlignLeft | Qt::AlignTop,
            QString::fromStdString(rows_.title));

  painter.setFont(rowFont_);
  const int rowHeight = QFontMetrics(rowFont_).height();
  const QRect row(Look::kTextX, titleHeight, width() - Look::kTextX - Look::kRightMargin, rowHeight);
  DrawTwice(painter, row, Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(rows_.left));
  DrawTwice(painter, row, Qt::AlignRight | Qt::AlignTop, QString::fromStdString(rows_.right));
  // The lower rows, one under the other in the small font, cut at the right edge.
  painter.setFont(noteFont_);
  const QFontMetrics lowerMetrics(noteFont_);
  const int lowerHeight = lowerMetrics.height();
  int y = titleHeight + rowHeight + 2;
  for (const app::DisplayRow& lower : rows_.lower) {
    if (y + lowerHeight > height()) break;
    const QRect box(Look::kTextX, y, row.width(), lowerHeight);
    const QString text = lowerMetrics.elidedText(QString::fromStdString(lower.text), Qt::ElideRight, box.width());
    DrawTwice(painter, box, Qt::AlignLeft | Qt::AlignTop, text, lower.warning);
    y += lowerHeight;
  }
  if (!rows_.note.empty()) {
    painter.setFont(noteFont_);
    DrawTwice(painter, QRect(0, titleHeight, width(), height() - titleHeight),
              Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(rows_.note));
  }
}

}  // namespace corvina::ui
