// Where the main window's controls go in its client area: the portrait arrangement when the
// area is at least as high as wide (everything in one column, the keypad under the dial box),
// else the landscape one (display, dial box and call controls on the left, keypad on the
// right). The status pane, when shown, takes the lower part of the area.
#pragma once

#include <QRect>
#include <array>

namespace corvina::ui {

struct PanelGeometry {
  bool portrait = true;
  QRect display;
  std::array<QRect, 2> lines;  // line buttons "1" and "2"
  QRect dialBox;
  std::array<QRect, 12> keys;  // in the order of the keypad ids 103-114
  QRect call, hangUp;
  QRect transfer, record, dnd, hold, conference, intercom;
  QRect playMeter, playSlider, recordMeter, recordSlider;
  QRect statusPane;            // empty when the pane is hidden
};

PanelGeometry LayOutPanel(const QRect& area, bool statusPaneShown);

}  // namespace corvina::ui
