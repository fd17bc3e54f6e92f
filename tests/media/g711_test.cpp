// G.711 against spandsp's encoder and decoder as the oracle, over every 16-bit input.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "media/g711.h"
#include "tests/media/support/reference_codecs.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using testing::SegmentalSnr;
using testing::TestSpeech;

// Our µ-law truncates the segment-0 mantissa (|v| >> 3 in 16-bit terms) where the standard's
// biased form rounds it ((|v| + 4) >> 3); every other input must match spandsp bit for bit.
// Inside segment 0 our code is the reference's code of the magnitude truncated to a multiple
// of 8, with the sample's sign.
TEST(G711Test, MulawEncodeMatchesReferenceOverEveryInput) {
  int truncatedSegmentZero = 0;
  for (int v = -32768; v <= 32767; ++v) {
    const std::uint8_t ours = MulawEncodeSample(v * 16);
    const int magnitude = std::abs(v);
    std::uint8_t expected = linear_to_ulaw(v);
    if (magnitude < 124 && (magnitude & 7) >= 4) {
      const int truncated = magnitude & ~7;
      // A negative sample keeps its sign bit even when it truncates to zero.
      expected = linear_to_ulaw(truncated);
      if (v < 0) expected &= 0x7F;
      if (expected != linear_to_ulaw(v)) ++truncatedSegmentZero;
    }
    ASSERT_EQ(ours, expected) << "16-bit input " << v;
  }
  std::cout << "µ-law inputs differing from spandsp (segment-0 truncation): " << truncatedSegmentZero << "\n";
  // Magnitudes 8k+4 .. 8k+7 for k = 0..14 (the last step below 124 rounds alike), both signs.
  EXPECT_EQ(truncatedSegmentZero, 2 * 15 * 4);
}

// The width, in 16-bit terms, of the A-law cell that holds magnitude `m` (< 32768): 16 in the
// two lowest segments, doubling with every segment above.
int AlawCellWidth(int m) {
  int segment = 0;
  while (segment < 7 && m >= (256 << segment)) ++segment;
  return segment <= 1 ? 16 : 16 << (segment - 1);
}

// Our A-law codes a negative sample by its magnitude -v, where the standard's encoder uses
// -v - 1. The two differ exactly when -v is the lower edge of a cell: there the standard puts
// the sample in the cell below, ours in the cell that starts at -v, which is the standard's
// code for the sample one step further from zero. Every other input matches spandsp bit for bit.
TEST(G711Test, AlawEncodeMatchesReferenceOverEveryInput) {
  int cellEdges = 0;
  for (int v = -32768; v <= 32767; ++v) {
    const std::uint8_t ours = AlawEncodeSample(v * 16);
    const int magnitude = -v;
    std::uint8_t expected = linear_to_alaw(v);
    if (v < 0 && magnitude < 32768 && magnitude % AlawCellWidth(magnitude) == 0) {
      expected = linear_to_alaw(v - 1);
      if (expected != linear_to_alaw(v)) ++cellEdges;
    }
    ASSERT_EQ(ours, expected) << "16-bit input " << v;
  }
  std::cout << "A-law inputs differing from spandsp (negative cell edges): " << cellEdges << "\n";
  // Edges 16..240 of segment 0, and 16 edges in each of segments 1 to 7.
  EXPECT_EQ(cellEdges, 15 + 7 * 16);
}

TEST(G711Test, EveryByteDecodesToTheStandardValueTimesSixteen) {
  for (int code = 0; code < 256; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    EXPECT_EQ(MulawDecodeSample(c), ulaw_to_linear(c) * 16) << "µ-law byte " << code;
    EXPECT_EQ(AlawDecodeSample(c), alaw_to_linear(c) * 16) << "A-law byte " << code;
  }
}

TEST(G711Test, KnownCodes) {
  EXPECT_EQ(MulawEncodeSample(0), 0xFF);
  EXPECT_EQ(MulawEncodeSample(-524288), 0x00);  // segment 7, mantissa 15, negative
  EXPECT_EQ(AlawEncodeSample(0), 0xD5);
  EXPECT_EQ(AlawDecodeSample(0xD5), 128);
  // Segment 5 of µ-law starts at 63424 and reconstructs from 65472.
  EXPECT_EQ(MulawEncodeSample(63424), static_cast<std::uint8_t>(~0x50));
  EXPECT_EQ(MulawEncodeSample(63423), static_cast<std::uint8_t>(~0x4F));
  EXPECT_EQ(MulawDecodeSample(static_cast<std::uint8_t>(~0x50)), 65472);
  EXPECT_EQ(MulawDecodeSample(static_cast<std::uint8_t>(~0xD0)), -65472);
}

// Samples beyond full scale, up to the 32-bit limits, clip to the outermost codes.
TEST(G711Test, OverloadClipsToTheOutermostCodes) {
  const std::int32_t loud[] = {524287, 524288, 1 << 24, std::numeric_limits<std::int32_t>::max()};
  for (std::int32_t x : loud) {
    EXPECT_EQ(MulawEncodeSample(x), 0x80) << x;
    EXPECT_EQ(MulawEncodeSample(-x - 1), 0x00) << x;
    EXPECT_EQ(AlawEncodeSample(x), 0xAA) << x;
    EXPECT_EQ(AlawEncodeSample(-x - 1), 0x2A) << x;
  }
}

TEST(G711Test, BufferFormsConvertTheShorterLength) {
  const std::vector<std::int32_t> samples = {0, 1000, -1000, 300000, -524288};
  std::vector<std::uint8_t> codes(3);
  EXPECT_EQ(MulawEncode(samples, codes), 3u);
  EXPECT_EQ(codes[1], MulawEncodeSample(1000));
  EXPECT_EQ(codes[2], MulawEncodeSample(-1000));
  std::vector<std::int32_t> back(5, 7);
  EXPECT_EQ(AlawDecode(codes, back), 3u);
  EXPECT_EQ(back[2], AlawDecodeSample(codes[2]));
  EXPECT_EQ(back[3], 7);
}

// A peer with a standard decoder hears our bytes as well as it hears its own.
TEST(G711Test, SpeechThroughTheReferenceDecoderKeepsItsQuality) {
  const std::vector<std::int16_t>& speech = TestSpeech();
  ASSERT_GT(speech.size(), 8000u);
  struct Law {
    const char* name;
    std::uint8_t (*ours)(std::int32_t);
    std::uint8_t (*reference)(int);
    std::int16_t (*decode)(std::uint8_t);
  };
  const Law laws[] = {{"µ-law", MulawEncodeSample, linear_to_ulaw, ulaw_to_linear},
                      {"A-law", AlawEncodeSample, linear_to_alaw, alaw_to_linear}};
  for (const Law& law : laws) {
    std::vector<std::int16_t> viaOurs(speech.size());
    std::vector<std::int16_t> viaReference(speech.size());
    for (std::size_t i = 0; i < speech.size(); ++i) {
      viaOurs[i] = law.decode(law.ours(speech[i] * 16));
      viaReference[i] = law.decode(law.reference(speech[i]));
    }
    const double ours = SegmentalSnr(speech, viaOurs);
    const double reference = SegmentalSnr(speech, viaReference);
    std::cout << law.name << " segmental SNR: ours " << ours << " dB, spandsp " << reference << " dB\n";
    EXPECT_GT(ours, 30.0) << law.name;
    EXPECT_GT(ours, reference - 0.5) << law.name;
  }
}

}  // namespace
}  // namespace corvina::media
