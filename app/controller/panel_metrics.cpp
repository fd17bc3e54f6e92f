#include "app/controller/panel_metrics.h"

namespace corvina::app {

std::array<FontSpec, 6> PanelFonts(int dpi) {
  return {{
      {(dpi * 22 + 48) / 96, 800},
      {(dpi * 11 + 48) / 96, 500},
      {(dpi + 4) * 12 / 96, 400},
      {(dpi * 20 + 48) / 96, 700},
      {(dpi * 18 + 48) / 96, 800},
      {(dpi + 6) * 8 / 96, 500},
  }};
}

int ToLayoutUnits(int pixels, int dpi) {
  if (dpi <= 0) return pixels;
  return (pixels * 96 + dpi / 2) / dpi;
}

int ClampLevel(long value) {
  if (value < -127) return -127;
  if (value > 127) return 127;
  return static_cast<int>(value);
}

std::vector<int> ShiftLevels(std::span<const int> levels, int offset) {
  std::vector<int> out;
  out.reserve(levels.size());
  for (int level : levels) out.push_back(ClampLevel(static_cast<long>(level) + offset));
  return out;
}

}  // namespace corvina::app
