// The three-band split the echo suppressor runs over both the microphone and the loudspeaker
// signal: a DC blocker, then two one-pole low-passes (pole 7/8, about 170 Hz, and pole 5/8,
// about 600 Hz). The bands are high = d - m, mid = m - lo, low = lo, so they add up to the
// DC-free input d exactly.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>

namespace corvina::media {

// Band order everywhere: 0 = high, 1 = mid, 2 = low.
inline constexpr int kEchoBands = 3;
using BandValues = std::array<std::int32_t, kEchoBands>;

class BandSplitter {
 public:
  BandValues Split(std::int32_t x) {
    const std::int32_t d = x - (dc_ >> 5);
    dc_ += d;
    lowState_ += d;
    const std::int32_t lo = lowState_ >> 3;
    lowState_ -= lo;
    midState_ += d;
    const std::int32_t m = 3 * (midState_ >> 3);
    midState_ -= m;
    return {d - m, m - lo, lo};
  }

 private:
  std::int32_t dc_ = 0;        // 32 times the running mean
  std::int32_t lowState_ = 0;  // state of the 7/8 low-pass
  std::int32_t midState_ = 0;  // state of the 5/8 low-pass
};

// Raises each band's block peak by the absolute value of the band sample.
inline void RaisePeaks(BandValues& peaks, const BandValues& bands) {
  for (int b = 0; b < kEchoBands; ++b) {
    const std::int32_t a = std::abs(bands[b]);
    if (a > peaks[b]) peaks[b] = a;
  }
}

// Takes out of each band's peak what the neighbouring filters let through: the mid band leaks
// an eighth into high and low, and the (corrected) low and high peaks leak back into mid.
inline BandValues CorrectOverlap(BandValues peaks) {
  const std::int32_t t = peaks[1] >> 3;
  peaks[2] -= t;
  peaks[0] -= t;
  peaks[1] -= (peaks[2] >> 5) + (peaks[0] >> 3);
  return peaks;
}

}  // namespace corvina::media
