// The sample scale every media block works in: signed 32-bit samples, 8000 Hz mono, held at
// sixteen times the 16-bit scale (a 16-bit value v travels as 16 * v), in 20 ms frames.
#pragma once

#include <cstdint>

namespace corvina::media {

inline constexpr int kSampleRate = 8000;
inline constexpr int kFrameSamples = 160;
// Full scale of the internal representation: 16 * 32768.
inline constexpr std::int32_t kFullScale = 524288;

// Clamps `value` into [low, high].
constexpr std::int32_t Saturate(std::int64_t value, std::int32_t low, std::int32_t high) {
  return value < low ? low : (value > high ? high : static_cast<std::int32_t>(value));
}

// A 16-bit sample raised to the internal scale.
constexpr std::int32_t FromPcm16(std::int16_t value) { return static_cast<std::int32_t>(value) * 16; }

// An internal sample brought down to 16 bits with rounding, (x + 8) >> 4; loud samples clip
// at the 16-bit limits instead of wrapping.
constexpr std::int16_t ToPcm16(std::int32_t value) {
  return static_cast<std::int16_t>(Saturate((static_cast<std::int64_t>(value) + 8) >> 4, -32768, 32767));
}

// An internal sample clipped to the range a 16-bit sample can stand for.
constexpr std::int32_t ClipToFullScale(std::int64_t value) {
  return Saturate(value, -kFullScale, kFullScale - 1);
}

}  // namespace corvina::media
