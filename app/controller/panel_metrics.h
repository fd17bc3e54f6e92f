// Numbers of the line panel that the view applies: the six fonts made from the screen's
// vertical dots per inch, the conversion of pixels to 96-dpi layout units and the choice of
// arrangement, and the level meters' values.
#pragma once

#include <array>
#include <span>
#include <vector>

namespace corvina::app {

struct FontSpec {
  int height = 0;  // pixels
  int weight = 0;  // 100 thin … 900 black
};

// The six fonts made at start-up, in this order of height at 96 dpi and weight: 22 px 800,
// 11 px 500, 12 px 400, 20 px 700, 18 px 800, 8 px 500; the heights scale with `dpi`.
std::array<FontSpec, 6> PanelFonts(int dpi);

// `pixels` in 96-dots-per-inch units, rounded to nearest.
int ToLayoutUnits(int pixels, int dpi);

// The portrait arrangement is used when the screen is at least as high as it is wide.
inline bool UsePortrait(int width, int height) { return height >= width; }

// A volume or level clamped to −127 … 127.
int ClampLevel(long value);

// A level report for a meter: each value shifted by `offset` (the audio path's play offset for
// the play meter, the record slider's position for the record meter) and clamped.
std::vector<int> ShiftLevels(std::span<const int> levels, int offset);

}  // namespace corvina::app
