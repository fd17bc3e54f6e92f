// Automatic gain control and the software volume.
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "media/gain_control.h"
#include "media/software_gain.h"

namespace corvina::media {
namespace {

using Agc = AutomaticGainControl;

TEST(GainControlTest, BlockLevelAndTable) {
  struct Case {
    std::int32_t peak;
    int level;
  } cases[] = {{131072, 0}, {0, -127}, {65536, -6}, {262144, 6}, {524287, 12}, {1, -102}, {INT32_MAX, 84}};
  for (const Case& c : cases) EXPECT_EQ(Agc::BlockLevel(c.peak), c.level) << c.peak;

  const auto& table = Agc::GainTable();
  const double unity = Agc::kUnityGain;
  EXPECT_NEAR(table[0] / unity, std::pow(10.0, 12.0 / 20), 1e-6);    // silence: +12 dB
  EXPECT_EQ(table[0], table[-18 + 128]);                              // flat up to -18 dB
  EXPECT_NEAR(table[128], unity, 1.0);                                // 0 dB: unity
  EXPECT_NEAR(table[3 + 128] / unity, std::pow(10.0, -2.0 / 20), 1e-6);  // 2/3 dB per dB
  EXPECT_EQ(table[4 + 128], static_cast<std::int32_t>(table[3 + 128] * 0.8913));  // then 1 dB per dB
  for (int i = 1; i < 256; ++i) EXPECT_LE(table[i], table[i - 1]) << i;
}

// Silence drives the gain to twice the first table entry; a loud block pulls it down again,
// and falling (attack) is far faster than rising (release).
TEST(GainControlTest, SilenceBoostsAndAttackIsFasterThanRelease) {
  Agc agc;
  EXPECT_EQ(agc.AttackDivisor(), 114);
  EXPECT_EQ(agc.ReleaseDivisor(), 8000);
  EXPECT_EQ(agc.DcCoefficient(), 83);

  auto samplesToHalfway = [&agc](std::int32_t amplitude, std::int32_t target) {
    const std::int32_t start = agc.Gain();
    const std::int64_t halfway = (static_cast<std::int64_t>(start) + target) / 2;
    std::vector<std::int32_t> block(160);
    for (int n = 0; n < 8000 * 20; n += 160) {
      for (std::size_t i = 0; i < block.size(); ++i) block[i] = (i % 2 ? amplitude : -amplitude);
      agc.Process(block);
      if ((start > target) == (agc.Gain() <= halfway)) return n + 160;
    }
    return -1;
  };

  const std::int32_t silenceTarget = 2 * Agc::GainTable()[1];
  const int release = samplesToHalfway(0, silenceTarget);
  for (int i = 0; i < 20; ++i) samplesToHalfway(0, silenceTarget);
  EXPECT_NEAR(agc.Gain(), silenceTarget, silenceTarget / 1000);

  const std::int32_t loudTarget = 2 * Agc::GainTable()[Agc::BlockLevel(262144) + 128];
  const int attack = samplesToHalfway(262144, loudTarget);
  ASSERT_GT(release, 0);
  ASSERT_GT(attack, 0);
  EXPECT_LT(attack * 20, release);
}

// A full-scale block meeting the full boost clips at full scale, never wraps; a constant
// offset is filtered away.
TEST(GainControlTest, LoudInputClipsAndDcIsRemoved) {
  Agc agc;
  std::vector<std::int32_t> quiet(8000 * 10, 0);
  agc.Process(quiet);
  std::vector<std::int32_t> loud(160);
  for (std::size_t i = 0; i < loud.size(); ++i) loud[i] = (i % 2 ? 524287 : -524288);
  std::vector<std::int32_t> in = loud;
  agc.Process(loud);
  for (std::size_t i = 0; i < loud.size(); ++i) {
    ASSERT_TRUE(loud[i] >= -524288 && loud[i] <= 524287) << i;
    if (i > 2) {
      ASSERT_EQ(loud[i] > 0, in[i] > 0) << i;
    }
  }

  Agc dc;
  std::vector<std::int32_t> offset(4000, 100000);
  dc.Process(offset);
  EXPECT_LT(std::abs(offset.back()), 100);
}

TEST(SoftwareGainTest, VolumeMapping) {
  struct Case {
    int volume;
    std::uint32_t level;
  } cases[] = {{-500, 0},       {-127, 0},       {-36, 0},        {-35, 1424},     {0, 51264},
               {10, 65504},     {11, 65535},     {127, 65535},    {500, 65535}};
  for (const Case& c : cases) {
    EXPECT_EQ(VolumeToLevel(c.volume), c.level) << c.volume;
    EXPECT_EQ(VolumeMutes(c.volume), c.volume <= -36) << c.volume;
  }
}

// A change of volume ramps across the next block, both channels of a frame alike, and holds
// the new factor from then on.
TEST(SoftwareGainTest, RampsWithoutJumps) {
  SoftwareGain gain(127);
  std::vector<std::int32_t> block(2 * 400, 100000);
  gain.Apply(block, 2);
  for (std::int32_t s : block) ASSERT_EQ(s, 100000);

  gain.SetVolume(-36);
  EXPECT_EQ(gain.TargetLevel(), 0u);
  std::fill(block.begin(), block.end(), 100000);
  gain.Apply(block, 2);
  for (std::size_t i = 0; i + 2 < block.size(); i += 2) {
    ASSERT_EQ(block[i], block[i + 1]) << i;
    ASSERT_LE(block[i + 2], block[i]) << i;
    ASSERT_LE(block[i] - block[i + 2], 100000 / 400 + 1) << i;
  }
  EXPECT_EQ(block.back(), 0);

  std::vector<std::int16_t> pcm(300, 20000);
  gain.SetVolume(127);
  gain.Apply(pcm);
  EXPECT_LE(pcm.front(), 20000 / 300 + 1);
  EXPECT_EQ(pcm.back(), 20000);
  std::fill(pcm.begin(), pcm.end(), 20000);
  gain.Apply(pcm);
  EXPECT_EQ(pcm.front(), 20000);
}

}  // namespace
}  // namespace corvina::media
