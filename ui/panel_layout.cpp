#include "ui/panel_layout.h"

#include <initializer_list>
#include <vector>

#include "app/controller/panel_metrics.h"

namespace corvina::ui {
namespace {

constexpr int kGap = 4;

// Splits `area` into rows (or columns) sized by `weights`, with kGap between them.
std::vector<QRect> Split(const QRect& area, std::initializer_list<double> weights, bool rows) {
  double total = 0;
  for (double w : weights) total += w;
  const int extent = (rows ? area.height() : area.width()) - kGap * static_cast<int>(weights.size() - 1);
  std::vector<QRect> out;
  double used = 0;
  int start = rows ? area.top() : area.left();
  for (double w : weights) {
    used += w;
    const int end = (rows ? area.top() : area.left()) + static_cast<int>(extent * used / total + 0.5) +
                    kGap * static_cast<int>(out.size());
    const int size = end - start;
    out.push_back(rows ? QRect(area.left(), start, area.width(), size) : QRect(start, area.top(), size, area.height()));
    start = end + kGap;
  }
  return out;
}

std::vector<QRect> Rows(const QRect& area, std::initializer_list<double> weights) { return Split(area, weights, true); }
std::vector<QRect> Columns(const QRect& area, std::initializer_list<double> weights) {
  return Split(area, weights, false);
}

void PlaceKeypad(const QRect& area, PanelGeometry& g) {
  const auto rows = Rows(area, {1, 1, 1, 1});
  // Visual order 1 2 3 / 4 5 6 / 7 8 9 / * 0 #, which is also the order of the ids.
  for (int r = 0; r < 4; ++r) {
    const auto cells = Columns(rows[static_cast<std::size_t>(r)], {1, 1, 1});
    for (int c = 0; c < 3; ++c) g.keys[static_cast<std::size_t>(r * 3 + c)] = cells[static_cast<std::size_t>(c)];
  }
}

void PlaceLineRow(const QRect& area, PanelGeometry& g) {
  const auto cells = Columns(area, {1, 1, 1.4, 1.4});
  g.lines = {cells[0], cells[1]};
  g.transfer = cells[2];
  g.hold = cells[3];
}

void PlaceFeatureRow(const QRect& area, PanelGeometry& g) {
  const auto cells = Columns(area, {1, 1, 1, 1});
  g.record = cells[0];
  g.dnd = cells[1];
  g.conference = cells[2];
  g.intercom = cells[3];
}

void PlaceLevelRow(const QRect& area, QRect& meter, QRect& slider) {
  const auto cells = Columns(area, {2, 3});
  meter = cells[0];
  slider = cells[1];
}

void PlaceCallRow(const QRect& area, PanelGeometry& g) {
  const auto cells = Columns(area, {1, 1});
  g.call = cells[0];
  g.hangUp = cells[1];
}

}  // namespace

PanelGeometry LayOutPanel(const QRect& area, bool statusPaneShown) {
  PanelGeometry g;
  g.portrait = app::UsePortrait(area.width(), area.height());
  QRect controls = area.adjusted(kGap, kGap, -kGap, -kGap);
  if (statusPaneShown) {
    const auto parts = Rows(controls, {7, 3});
    controls = parts[0];
    g.statusPane = parts[1];
  }
  if (g.portrait) {
    const auto rows = Rows(controls, {2, 1, 1, 4.4, 1.2, 1, 0.6, 0.6});
    g.display = rows[0];
    PlaceLineRow(rows[1], g);
    g.dialBox = rows[2];
    PlaceKeypad(rows[3], g);
    PlaceCallRow(rows[4], g);
    PlaceFeatureRow(rows[5], g);
    PlaceLevelRow(rows[6], g.playMeter, g.playSlider);
    PlaceLevelRow(rows[7], g.recordMeter, g.recordSlider);
  } else {
    const auto halves = Columns(controls, {11, 9});
    const auto rows = Rows(halves[0], {2, 1, 1, 1.2, 1, 0.6, 0.6});
    g.display = rows[0];
    PlaceLineRow(rows[1], g);
    g.dialBox = rows[2];
    PlaceCallRow(rows[3], g);
    PlaceFeatureRow(rows[4], g);
    PlaceLevelRow(rows[5], g.playMeter, g.playSlider);
    PlaceLevelRow(rows[6], g.recordMeter, g.recordSlider);
    PlaceKeypad(halves[1], g);
  }
  return g;
}

}  // namespace corvina::ui
