#include "media/gain_control.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "media/sample_scale.h"

namespace corvina::media {
namespace {

constexpr double kLevelReference = 131072.0;
constexpr int kKneeLow = -18;  // below: full boost
constexpr int kKneeHigh = 3;   // above: 1 dB less gain per dB

std::array<std::int32_t, 256> BuildGainTable() {
  std::array<std::int32_t, 256> table{};
  const double r = std::pow(10.0, -1.0 / 30.0);
  const double boost = AutomaticGainControl::kUnityGain / std::pow(r, -kKneeLow);
  double previous = 0.0;
  for (int level = -128; level <= 127; ++level) {
    double g = 0.0;
    if (level <= kKneeLow) {
      g = boost;
    } else if (level <= kKneeHigh) {
      g = boost * std::pow(r, level - kKneeLow);
    } else {
      g = previous * 0.8913;
    }
    table[level + 128] = static_cast<std::int32_t>(g);
    previous = table[level + 128];
  }
  return table;
}

}  // namespace

AutomaticGainControl::AutomaticGainControl(int rate, int channels)
    : channels_(std::clamp(channels, 1, 2)),
      attack_(std::max(1, rate / 70)),
      release_(std::max(1, rate)),
      dcCoefficient_(static_cast<int>(256.0 * (1.0 - std::exp(-3141.5926535 / std::max(1, rate))))) {}

const std::array<std::int32_t, 256>& AutomaticGainControl::GainTable() {
  static const std::array<std::int32_t, 256> table = BuildGainTable();
  return table;
}

int AutomaticGainControl::BlockLevel(std::int32_t peak) {
  if (peak <= 0) return -127;
  const double level = std::round(20.0 * std::log10(peak / kLevelReference));
  return static_cast<int>(std::clamp(level, -127.0, 127.0));
}

void AutomaticGainControl::Process(std::span<std::int32_t> samples) {
  const std::size_t piece = static_cast<std::size_t>(kMaxBlock) * channels_;
  while (!samples.empty()) {
    const std::size_t n = std::min(piece, samples.size());
    ProcessPiece(samples.first(n));
    samples = samples.subspan(n);
  }
}

void AutomaticGainControl::ProcessPiece(std::span<std::int32_t> samples) {
  std::int64_t peak = 0;
  if (channels_ == 1) {
    for (std::int32_t& x : samples) {
      const std::int64_t y = x - (dcState_ >> 8);
      dcState_ += dcCoefficient_ * y;
      x = ClipToFullScale(y);
      peak = std::max(peak, std::abs(static_cast<std::int64_t>(x)));
    }
  } else {
    for (std::int32_t x : samples) peak = std::max(peak, std::abs(static_cast<std::int64_t>(x)));
  }
  const int level = BlockLevel(static_cast<std::int32_t>(std::min<std::int64_t>(peak, INT32_MAX)));
  const std::int32_t target = 2 * GainTable()[level + 128];
  const int attack = std::max(1, channels_ * attack_);
  const int release = std::max(1, channels_ * release_);
  for (std::int32_t& x : samples) {
    gain_ += (target - gain_) / (target < gain_ ? attack : release);
    x = ClipToFullScale((static_cast<std::int64_t>(x) * gain_) >> 24);
  }
}

}  // namespace corvina::media
