// Comfort noise played instead of silence: runs of a 128-byte random table replayed under a
// changing mask through a one-pole low-pass, about 66 dB below full scale (output within
// -254..256 at the internal scale). The generator and its random source are caller-owned.
#pragma once

#include <cstdint>
#include <span>

#include "platform/clock.h"

namespace corvina::media {

class ComfortNoise {
 public:
  // `seed` stands for the calendar time the generator is seeded from on first use.
  explicit ComfortNoise(std::uint32_t seed) : random_(seed) {}
  static ComfortNoise SeededFrom(const platform::WallClock& clock) {
    return ComfortNoise(static_cast<std::uint32_t>(clock.Now()));
  }

  void Generate(std::span<std::int32_t> out);

 private:
  void Start();
  // The classic linear congruential generator: 15-bit values.
  std::uint32_t NextRandom();

  bool started_ = false;
  std::uint8_t table_[128] = {};
  int readPosition_ = 0;
  int byteIndex_ = 0;
  std::uint8_t mask_ = 0;
  std::int32_t previous_ = 0;
  std::uint32_t random_;
};

}  // namespace corvina::media
