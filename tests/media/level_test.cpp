// Comfort noise and the peak meter.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "media/comfort_noise.h"
#include "media/peak_meter.h"

namespace corvina::media {
namespace {

std::vector<std::int32_t> Noise(std::uint32_t seed, std::size_t count) {
  ComfortNoise noise(seed);
  std::vector<std::int32_t> out(count);
  noise.Generate(out);
  return out;
}

TEST(ComfortNoiseTest, StaysWithinItsRangeAndUsesIt) {
  for (std::uint32_t seed : {0u, 1u, 1733000000u, 0xFFFFFFFFu}) {
    const std::vector<std::int32_t> out = Noise(seed, 400000);
    const auto [low, high] = std::minmax_element(out.begin(), out.end());
    EXPECT_GE(*low, -254) << seed;
    EXPECT_LE(*high, 256) << seed;
    EXPECT_LT(*low, -100) << seed;
    EXPECT_GT(*high, 100) << seed;
  }
}

// A one-pole low-pass over table bytes: neighbouring samples are correlated and the level
// sits far below full scale, but it is not silence.
TEST(ComfortNoiseTest, IsQuietLowPassedNoise) {
  const std::vector<std::int32_t> out = Noise(42, 80000);
  double mean = 0.0;
  for (std::int32_t v : out) mean += v;
  mean /= static_cast<double>(out.size());
  double power = 0.0;
  double lagged = 0.0;
  for (std::size_t i = 1; i < out.size(); ++i) {
    power += (out[i] - mean) * (out[i] - mean);
    lagged += (out[i] - mean) * (out[i - 1] - mean);
  }
  const double rms = std::sqrt(power / static_cast<double>(out.size()));
  EXPECT_GT(rms, 40.0);
  EXPECT_LT(rms, 200.0);
  EXPECT_GT(lagged / power, 0.3);
  EXPECT_LT(std::abs(mean), 30.0);
}

TEST(ComfortNoiseTest, CarriesItsStateAcrossCallsAndDependsOnTheSeed) {
  const std::vector<std::int32_t> whole = Noise(7, 1000);
  ComfortNoise noise(7);
  std::vector<std::int32_t> pieces(1000);
  noise.Generate(std::span<std::int32_t>(pieces).first(1));
  noise.Generate(std::span<std::int32_t>(pieces).subspan(1, 300));
  noise.Generate(std::span<std::int32_t>(pieces).subspan(301));
  EXPECT_EQ(pieces, whole);
  EXPECT_NE(Noise(8, 1000), whole);
}

TEST(PeakMeterTest, LargestMagnitudeOfTheBlock) {
  using Limits = std::numeric_limits<std::int32_t>;
  const std::pair<std::vector<std::int32_t>, std::int32_t> cases[] = {
      {{}, 0}, {std::vector<std::int32_t>(160, 0), 0}, {{3, 9000, 12}, 9000}, {{-3, -9000, -12}, 9000},
      {{4095, -8192, 8191}, 8192}, {{Limits::min(), 5}, Limits::max()}};
  for (const auto& [block, peak] : cases) EXPECT_EQ(Peak(block), peak) << block.size() << " samples, peak " << peak;
}

}  // namespace
}  // namespace corvina::media
