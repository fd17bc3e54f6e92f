// The block level used by silence detection: the larger of the maximum and the negated
// minimum sample (both start at 0, so silence gives 0).
#pragma once

#include <cstdint>
#include <span>

namespace corvina::media {

std::int32_t Peak(std::span<const std::int32_t> samples);

}  // namespace corvina::media
