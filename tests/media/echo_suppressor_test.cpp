// The echo suppressor: silence, learning, the stored start values and the gate.
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "media/echo_suppressor.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"

namespace corvina::media {
namespace {

constexpr char kSection[] = "Settings\\AudioProcess";

std::vector<std::int32_t> Sine(double frequency, double amplitude, std::size_t count, std::size_t start = 0) {
  std::vector<std::int32_t> s(count);
  for (std::size_t i = 0; i < count; ++i) {
    s[i] = static_cast<std::int32_t>(std::lround(amplitude * std::sin(2 * M_PI * frequency * (start + i) / 8000.0)));
  }
  return s;
}

class EchoSuppressorTest : public ::testing::Test {
 protected:
  // Runs `seconds` of 20 ms blocks: the reference block goes to the speaker side first, then
  // the microphone block (the reference scaled by `echoGain`, plus `near`) to the capture side.
  std::vector<std::int32_t> Run(EchoSuppressor& es, double refAmplitude, double echoGain, double nearAmplitude,
                                int seconds) {
    std::vector<std::int32_t> out;
    for (int block = 0; block < seconds * 50; ++block) {
      const std::size_t start = static_cast<std::size_t>(block) * 160;
      const std::vector<std::int32_t> ref = Sine(500.0, refAmplitude, 160, start);
      const std::vector<std::int32_t> near = Sine(1900.0, nearAmplitude, 160, start);
      counter_ += ref.size();
      es.FeedReference(ref, counter_);
      std::vector<std::int32_t> mic(160);
      for (std::size_t i = 0; i < mic.size(); ++i) mic[i] = static_cast<std::int32_t>(ref[i] * echoGain) + near[i];
      es.ProcessCapture(mic, counter_, out);
    }
    return out;
  }

  static double Rms(const std::vector<std::int32_t>& s, std::size_t from) {
    double sum = 0;
    for (std::size_t i = from; i < s.size(); ++i) sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(s.size() - from));
  }

  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  std::uint64_t counter_ = 0;
};

TEST_F(EchoSuppressorTest, SilenceInGivesSilenceOutSampleForSample) {
  EchoSuppressor es(settings_);
  std::vector<std::int32_t> out = Run(es, 0, 0, 0, 2);
  // Every sample comes out, at most one analysis block late.
  EXPECT_GE(out.size(), 2u * 8000 - EchoSuppressor::kBlock);
  EXPECT_LE(out.size(), 2u * 8000);
  for (std::int32_t s : out) ASSERT_EQ(s, 0);
}

// Coupling factors that start at 0 learn only from reference blocks whose band peak exceeds
// 2048, and never grow past their cap however loud the microphone is.
TEST_F(EchoSuppressorTest, LearnsOnlyFromLoudReferenceAndStaysCapped) {
  struct Case {
    double ref;
    double echoGain;
    bool learns;
  } cases[] = {
      // The largest band peak of a 500 Hz tone is 0.461 of its amplitude (0.521 in the first
      // blocks, while the filters settle): at most 1979 for the first, 2168 for the second.
      {3800.0, 1.0, false},
      {4700.0, 1.0, true},
      {6000.0, 80.0, true},  // microphone far louder than the reference: factors hit the cap
  };
  for (const Case& c : cases) {
    EchoSuppressor es(settings_);
    Run(es, c.ref, c.echoGain, 0, 4);
    std::int32_t largest = 0;
    for (int b = 0; b < kEchoBands; ++b) {
      for (int j = 0; j < EchoSuppressor::kLags; ++j) {
        EXPECT_GE(es.CouplingFactor(b, j), 0);
        EXPECT_LE(es.CouplingFactor(b, j), EchoSuppressor::kMaxCoupling);
        largest = std::max(largest, es.CouplingFactor(b, j));
      }
    }
    EXPECT_EQ(largest > 0, c.learns) << c.ref;
    if (c.echoGain > 50) {
      EXPECT_EQ(largest, EchoSuppressor::kMaxCoupling);
    }
  }
}

TEST_F(EchoSuppressorTest, StoredValuesStartTheNextSuppressorAndDamageIsClamped) {
  struct Case {
    const char* stored;
    std::int32_t coupling;
    std::int32_t noise;
  } cases[] = {
      {"300", 300, 300 * 512},
      {"0", 0, 0},
      {"-5", 0, 0},
      {"99999999", EchoSuppressor::kMaxCoupling, 2 * 524288 * 512},
  };
  for (const Case& c : cases) {
    for (int band = 1; band <= 3; ++band) {
      settings_.SetSettingString(kSection, "EchoBand" + std::to_string(band), c.stored);
      settings_.SetSettingString(kSection, "NoiseGateBand" + std::to_string(band), c.stored);
    }
    {
      EchoSuppressor es(settings_);
      for (int b = 0; b < kEchoBands; ++b) {
        EXPECT_EQ(es.NoiseFloor(b), c.noise) << c.stored;
        for (int j = 0; j < EchoSuppressor::kLags; ++j) EXPECT_EQ(es.CouplingFactor(b, j), c.coupling) << c.stored;
      }
    }
    // Destruction writes back what the suppressor holds, as decimal strings.
    for (int band = 1; band <= 3; ++band) {
      EXPECT_EQ(settings_.GetSettingString(kSection, "EchoBand" + std::to_string(band), ""),
                std::to_string(c.coupling));
      EXPECT_EQ(settings_.GetSettingString(kSection, "NoiseGateBand" + std::to_string(band), ""),
                std::to_string(c.noise >> 9));
    }
  }

  // What one call learned is where the next one starts.
  std::int32_t learned[kEchoBands];
  {
    settings_.SetSettingString(kSection, "EchoBand2", "0");
    EchoSuppressor es(settings_);
    Run(es, 60000.0, 0.5, 0, 3);
    for (int b = 0; b < kEchoBands; ++b) {
      learned[b] = 0;
      for (int j = 0; j < EchoSuppressor::kLags; ++j) learned[b] = std::max(learned[b], es.CouplingFactor(b, j));
    }
  }
  EchoSuppressor next(settings_);
  for (int b = 0; b < kEchoBands; ++b) EXPECT_EQ(next.CouplingFactor(b, 5), learned[b]);
}

// After learning the echo of a far-end tone, the tone's echo alone is gated while a louder
// near-end tone in another band passes.
TEST_F(EchoSuppressorTest, GatesLearnedEchoAndPassesNearEnd) {
  EchoSuppressor es(settings_);
  Run(es, 100000.0, 0.3, 0, 6);
  const std::vector<std::int32_t> echoOnly = Run(es, 100000.0, 0.3, 0, 1);
  EXPECT_LT(Rms(echoOnly, 4000), 0.01 * 100000 * 0.3 / std::sqrt(2.0));
  const std::vector<std::int32_t> nearOnly = Run(es, 0, 0, 100000.0, 1);
  EXPECT_GT(Rms(nearOnly, 4000), 0.5 * 100000 / std::sqrt(2.0));
}

TEST_F(EchoSuppressorTest, EnabledFlagFollowsTheProgramSetting) {
  struct Case {
    const char* stored;
    bool enabled;
  } cases[] = {{nullptr, true}, {"", true}, {"1", true}, {"0", false}, {"yes", true}};
  for (const Case& c : cases) {
    if (c.stored != nullptr) settings_.SetSettingString("Settings", "EchoCancellation", c.stored);
    EchoSuppressor es(settings_);
    EXPECT_EQ(es.Enabled(), c.enabled) << (c.stored ? c.stored : "(missing)");
  }
}

}  // namespace
}  // namespace corvina::media
