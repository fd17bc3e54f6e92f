#include "media/comfort_noise.h"

namespace corvina::media {

std::uint32_t ComfortNoise::NextRandom() {
  random_ = random_ * 1103515245u + 12345u;
  return (random_ >> 16) & 0x7FFF;
}

void ComfortNoise::Start() {
  // Seeded with the time mixed with a first draw, then the table takes 128 low bytes.
  random_ ^= NextRandom();
  for (std::uint8_t& entry : table_) entry = static_cast<std::uint8_t>(NextRandom());
  readPosition_ = 0;
  byteIndex_ = 0;
  mask_ = 0;
  previous_ = 0;
  started_ = true;
}

void ComfortNoise::Generate(std::span<std::int32_t> out) {
  if (!started_) Start();
  for (std::int32_t& sample : out) {
    if (byteIndex_ >= 128) {
      // A new run: its start and mask come from the next table byte.
      const std::uint8_t b = table_[readPosition_];
      byteIndex_ = b & 63;
      mask_ = b;
      readPosition_ = (readPosition_ + 1) & 127;
    }
    const std::int32_t y = (table_[byteIndex_] ^ mask_) + (previous_ >> 1) - 127;
    ++byteIndex_;
    previous_ = y;
    sample = y;
  }
}

}  // namespace corvina::media
