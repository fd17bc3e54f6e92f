#include "media/peak_meter.h"

#include <algorithm>
#include <limits>

namespace corvina::media {

std::int32_t Peak(std::span<const std::int32_t> samples) {
  std::int32_t highest = 0;
  std::int32_t lowest = 0;
  for (std::int32_t v : samples) {
    highest = std::max(highest, v);
    lowest = std::min(lowest, v);
  }
  // The most negative sample has no positive twin: its magnitude clips at the largest value.
  const std::int64_t negated = -static_cast<std::int64_t>(lowest);
  const std::int32_t magnitude =
      static_cast<std::int32_t>(std::min<std::int64_t>(negated, std::numeric_limits<std::int32_t>::max()));
  return std::max(highest, magnitude);
}

}  // namespace corvina::media
