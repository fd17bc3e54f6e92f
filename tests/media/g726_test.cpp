// G.726-32 against spandsp's G.726 at 32 kbit/s with linear samples and high-nibble-first
// packing, fed the same 14-bit samples.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <vector>

#include <gtest/gtest.h>

#include "media/g726.h"
#include "media/sample_scale.h"
#include "tests/media/support/reference_codecs.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using testing::SegmentalSnr;
using testing::TestSpeech;
using testing::Tone;

std::vector<std::uint8_t> EncodeOurs(const std::vector<std::int32_t>& samples) {
  G726Encoder encoder;
  std::vector<std::uint8_t> codes(samples.size() / 2);
  codes.resize(encoder.Encode(samples, codes));
  return codes;
}

std::vector<std::int32_t> DecodeOurs(const std::vector<std::uint8_t>& codes) {
  G726Decoder decoder;
  std::vector<std::int32_t> samples(codes.size() * 2);
  samples.resize(decoder.Decode(codes, samples));
  return samples;
}

// spandsp takes 16-bit samples and drops their two low bits: hand it the 14-bit value our
// encoder derives from each internal sample, shifted back up.
std::vector<std::uint8_t> EncodeReference(const std::vector<std::int32_t>& samples) {
  std::vector<std::int16_t> pcm(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::int32_t linear14 = Saturate((static_cast<std::int64_t>(samples[i]) + 32) >> 6, -8192, 8191);
    pcm[i] = static_cast<std::int16_t>(linear14 * 4);
  }
  g726_state_t* state = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
  std::vector<std::uint8_t> codes(samples.size() / 2 + 1);
  codes.resize(g726_encode(state, codes.data(), pcm.data(), static_cast<int>(pcm.size())));
  g726_free(state);
  return codes;
}

std::vector<std::int16_t> DecodeReference(const std::vector<std::uint8_t>& codes) {
  g726_state_t* state = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
  std::vector<std::int16_t> pcm(codes.size() * 2);
  pcm.resize(g726_decode(state, pcm.data(), codes.data(), static_cast<int>(codes.size())));
  g726_free(state);
  return pcm;
}

std::vector<std::int32_t> Concatenate(std::initializer_list<std::vector<std::int16_t>> parts) {
  std::vector<std::int32_t> out;
  for (const auto& part : parts) {
    for (std::int16_t v : part) out.push_back(v * 16);
  }
  return out;
}

// Speech and tones of several kinds: low and high, soft and near full scale, a two-tone
// pair, silence into a tone (the transition detector) and a clipped square wave.
std::vector<std::pair<const char*, std::vector<std::int32_t>>> Signals() {
  std::vector<std::int16_t> dual = Tone(697, 8000, 8000);
  const std::vector<std::int16_t> high = Tone(1209, 8000, 8000);
  for (std::size_t i = 0; i < dual.size(); ++i) dual[i] = static_cast<std::int16_t>(dual[i] + high[i]);
  std::vector<std::int16_t> square(4000);
  for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 20) % 2 ? 32767 : -32768;
  return {
      {"speech", testing::ToInternal(TestSpeech())},
      {"tones", Concatenate({Tone(300, 20000, 8000), Tone(1000, 1000, 8000), Tone(3400, 30000, 8000),
                             Tone(2100, 12000, 8000)})},
      {"dual tone", Concatenate({dual})},
      {"silence then tone", Concatenate({std::vector<std::int16_t>(4000, 0), Tone(1004, 16000, 16000),
                                         std::vector<std::int16_t>(800, 0), Tone(440, 30000, 8000)})},
      {"square", Concatenate({square})},
  };
}

TEST(G726Test, CodeStreamIsBitIdenticalToReference) {
  ASSERT_GT(TestSpeech().size(), 8000u);
  for (const auto& [name, samples] : Signals()) {
    const std::vector<std::uint8_t> ours = EncodeOurs(samples);
    const std::vector<std::uint8_t> reference = EncodeReference(samples);
    ASSERT_EQ(ours.size(), samples.size() / 2) << name;
    ASSERT_EQ(ours.size(), reference.size()) << name;
    const auto mismatch = std::mismatch(ours.begin(), ours.end(), reference.begin());
    EXPECT_TRUE(mismatch.first == ours.end())
        << name << ": first differing byte " << (mismatch.first - ours.begin());
  }
}

// spandsp returns the reconstruction times 4 in 16 bits and wraps round when it passes the
// 14-bit range (a loud square wave does that); ours clips at full scale there instead. The
// step-by-step reconstruction still has to agree with spandsp's everywhere, modulo 2^16.
TEST(G726Test, DecoderOutputEqualsReferenceTimesSixteen) {
  for (const auto& [name, samples] : Signals()) {
    const std::vector<std::uint8_t> codes = EncodeReference(samples);
    const std::vector<std::int32_t> ours = DecodeOurs(codes);
    const std::vector<std::int16_t> reference = DecodeReference(codes);
    ASSERT_EQ(ours.size(), reference.size()) << name;
    G726State state;
    std::size_t differing = 0;
    std::size_t clipped = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
      const std::uint8_t code = i % 2 == 0 ? codes[i / 2] >> 4 : codes[i / 2] & 15;
      const std::int32_t linear14 = G726DecodeCode(state, code);
      if (static_cast<std::int16_t>(linear14 * 4) != reference[i]) ++differing;
      if (linear14 >= -8192 && linear14 <= 8191) {
        if (ours[i] != reference[i] * 16) ++differing;
      } else {
        ++clipped;
        if (ours[i] != (linear14 < 0 ? -kFullScale : kFullScale - 1)) ++differing;
      }
    }
    EXPECT_EQ(differing, 0u) << name;
    if (clipped != 0) std::cout << name << ": " << clipped << " samples clipped where spandsp wraps\n";
  }
}

TEST(G726Test, OneFrameMakesEightyBytes) {
  const std::vector<std::int32_t> frame(kFrameSamples, 1000);
  G726Encoder encoder;
  std::vector<std::uint8_t> codes(100, 0);
  EXPECT_EQ(encoder.Encode(frame, codes), 80u);
  // An odd trailing sample is left alone; a short output buffer bounds the work.
  EXPECT_EQ(encoder.Encode(std::vector<std::int32_t>(5, 0), codes), 2u);
  EXPECT_EQ(encoder.Encode(frame, std::span<std::uint8_t>(codes.data(), 10)), 10u);
}

TEST(G726Test, SpeechSurvivesAndTheWrongNibbleOrderIsNoise) {
  const std::vector<std::int16_t>& speech = TestSpeech();
  ASSERT_GT(speech.size(), 8000u);
  std::vector<std::uint8_t> codes = EncodeOurs(testing::ToInternal(speech));
  auto toPcm = [](const std::vector<std::int32_t>& samples) {
    std::vector<std::int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), ToPcm16);
    return pcm;
  };
  const double good = SegmentalSnr(speech, toPcm(DecodeOurs(codes)));
  for (std::uint8_t& byte : codes) byte = static_cast<std::uint8_t>((byte << 4) | (byte >> 4));
  const double swapped = SegmentalSnr(speech, toPcm(DecodeOurs(codes)));
  std::cout << "G.726-32 speech segmental SNR " << good << " dB, nibbles swapped " << swapped << " dB\n";
  EXPECT_GT(good, 15.0);
  EXPECT_LT(swapped, 3.0);
}

TEST(G726Test, LoudInputClipsAtFourteenBits) {
  std::vector<std::int32_t> loud(800);
  std::vector<std::int32_t> clipped(800);
  for (std::size_t i = 0; i < loud.size(); ++i) {
    loud[i] = (i / 13) % 2 ? 3 * kFullScale : -4 * kFullScale;
    clipped[i] = (i / 13) % 2 ? 8191 * 64 : -8192 * 64;
  }
  EXPECT_EQ(EncodeOurs(loud), EncodeOurs(clipped));
}

// A stream that keeps asking for the largest positive step drives the reconstruction past
// full scale; the output clips instead of wrapping round.
TEST(G726Test, DecoderOutputStaysWithinFullScale) {
  const std::vector<std::uint8_t> codes(4000, 0x77);
  const std::vector<std::int32_t> samples = DecodeOurs(codes);
  const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
  EXPECT_GE(*low, -kFullScale);
  EXPECT_LE(*high, kFullScale - 1);
  EXPECT_EQ(*high, kFullScale - 1);
}

TEST(G726Test, ResetReturnsToTheInitialState) {
  const std::vector<std::int32_t> samples = testing::ToInternal(Tone(800, 9000, 480));
  G726Encoder encoder;
  std::vector<std::uint8_t> first(240);
  std::vector<std::uint8_t> second(240);
  encoder.Encode(samples, first);
  encoder.Reset();
  encoder.Encode(samples, second);
  EXPECT_EQ(first, second);
}

}  // namespace
}  // namespace corvina::media
