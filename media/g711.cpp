#include "media/g711.h"

#include <algorithm>
#include <array>
#include <bit>

namespace corvina::media {
namespace {

// µ-law segment bases at the internal scale: the standard's 16-bit decision points (segment
// boundary minus the bias of 132) times 16. Segment 0 starts at 0.
constexpr std::array<std::uint32_t, 8> kMulawEncodeBase = {0,     1984,   6080,   14272,
                                                           30656, 63424, 128960, 260032};
// Reconstruction values of mantissa 0 per segment, 16 times the standard's.
constexpr std::array<std::int32_t, 8> kMulawDecodeBase = {0,     2112,   6336,   14784,
                                                          31680, 65472, 133056, 268224};
// A-law: lower threshold, quantizer step (as a shift) and reconstruction of mantissa 0 per
// segment.
constexpr std::array<std::uint32_t, 8> kAlawLower = {0, 4096, 8192, 16384, 32768, 65536, 131072, 262144};
constexpr std::array<int, 8> kAlawStepShift = {8, 8, 9, 10, 11, 12, 13, 14};
constexpr std::array<std::int32_t, 8> kAlawDecodeBase = {128,   4224,  8448,   16896,
                                                         33792, 67584, 135168, 270336};

// |sample| without overflow for the most negative 32-bit value.
constexpr std::uint32_t Magnitude(std::int32_t sample) {
  return sample < 0 ? 0u - static_cast<std::uint32_t>(sample) : static_cast<std::uint32_t>(sample);
}

// Index of the highest set bit of a non-zero value.
// (31 XOR the leading-zero count equals 31 minus it here, and compiles to a single bit scan.)
constexpr int TopBit(std::uint32_t value) { return 31 ^ std::countl_zero(value); }

constexpr std::uint8_t EncodeMulaw(std::int32_t sample) {
  // Loud samples clip into segment 7 with mantissa 15.
  const std::uint32_t magnitude = std::min(Magnitude(sample), 522175u);
  const std::uint8_t sign = sample < 0 ? 0x80 : 0x00;
  // Segment s >= 1 begins where magnitude + 2112 reaches 2^(s + 11); the 1 keeps segment 0.
  const int segment = TopBit(((magnitude + 2112) >> 11) | 1);
  const std::uint32_t mantissa = (magnitude - kMulawEncodeBase[segment]) >> (segment + 7);
  return static_cast<std::uint8_t>(~(sign | (segment << 4) | mantissa));
}

constexpr std::int32_t DecodeMulaw(std::uint8_t code) {
  const std::uint8_t c = static_cast<std::uint8_t>(~code);
  const int segment = (c >> 4) & 7;
  const std::int32_t value = kMulawDecodeBase[segment] + ((c & 15) << (segment + 7));
  return (c & 0x80) ? -value : value;
}

constexpr std::uint8_t EncodeAlaw(std::int32_t sample) {
  const std::uint32_t magnitude = std::min(Magnitude(sample), 524287u);  // clips to 0x7F
  const std::uint8_t sign = sample >= 0 ? 0x80 : 0x00;
  // Segment s >= 1 begins at 2^(s + 11).
  const int segment = TopBit((magnitude >> 11) | 1);
  const std::uint32_t mantissa = (magnitude - kAlawLower[segment]) >> kAlawStepShift[segment];
  return static_cast<std::uint8_t>((sign | (segment << 4) | mantissa) ^ 0x55);
}

constexpr std::int32_t DecodeAlaw(std::uint8_t code) {
  const std::uint8_t c = code ^ 0x55;
  const int segment = (c >> 4) & 7;
  const std::int32_t value = kAlawDecodeBase[segment] + ((c & 15) << kAlawStepShift[segment]);
  return (c & 0x80) ? value : -value;
}

// Every µ-law decision point above lies on a multiple of 64 (segment bases 31·64, 95·64, ...;
// steps of at least 128), so the code of a sample depends only on its magnitude / 64 and its
// sign. The encoder looks it up in a table of the positive codes built once from the segment
// rule above; a negative sample's code is the same with the sign bit cleared.
constexpr std::size_t kMulawTableSize = 8192;  // magnitudes up to 524287; beyond that clips
constexpr std::array<std::uint8_t, kMulawTableSize> MakeMulawEncodeTable() {
  std::array<std::uint8_t, kMulawTableSize> table{};
  for (std::size_t i = 0; i < kMulawTableSize; ++i) table[i] = EncodeMulaw(static_cast<std::int32_t>(i << 6));
  return table;
}
constexpr std::array<std::uint8_t, kMulawTableSize> kMulawEncodeTable = MakeMulawEncodeTable();

inline std::uint8_t EncodeMulawFast(std::int32_t sample) {
  const std::uint32_t negative = static_cast<std::uint32_t>(sample >> 31);  // all ones when negative
  const std::uint32_t magnitude = (static_cast<std::uint32_t>(sample) ^ negative) - negative;
  const std::uint32_t index = std::min(magnitude, static_cast<std::uint32_t>(kMulawTableSize * 64 - 1)) >> 6;
  return static_cast<std::uint8_t>(kMulawEncodeTable[index] ^ (negative & 0x80));
}

template <std::int32_t (*Decode)(std::uint8_t)>
constexpr std::array<std::int32_t, 256> MakeDecodeTable() {
  std::array<std::int32_t, 256> table{};
  for (int code = 0; code < 256; ++code) table[code] = Decode(static_cast<std::uint8_t>(code));
  return table;
}

constexpr std::array<std::int32_t, 256> kMulawTable = MakeDecodeTable<DecodeMulaw>();
constexpr std::array<std::int32_t, 256> kAlawTable = MakeDecodeTable<DecodeAlaw>();

}  // namespace

std::uint8_t MulawEncodeSample(std::int32_t sample) { return EncodeMulawFast(sample); }
std::int32_t MulawDecodeSample(std::uint8_t code) { return kMulawTable[code]; }
std::uint8_t AlawEncodeSample(std::int32_t sample) { return EncodeAlaw(sample); }
std::int32_t AlawDecodeSample(std::uint8_t code) { return kAlawTable[code]; }

namespace {

// Applies `convert` to min(in.size(), out.size()) values.
template <typename In, typename Out, typename Convert>
std::size_t ConvertAll(std::span<const In> in, std::span<Out> out, Convert convert) {
  const std::size_t count = std::min(in.size(), out.size());
  for (std::size_t i = 0; i < count; ++i) out[i] = convert(in[i]);
  return count;
}

}  // namespace

std::size_t MulawEncode(std::span<const std::int32_t> samples, std::span<std::uint8_t> codes) {
  return ConvertAll(samples, codes, [](std::int32_t x) { return EncodeMulawFast(x); });
}

std::size_t MulawDecode(std::span<const std::uint8_t> codes, std::span<std::int32_t> samples) {
  return ConvertAll(codes, samples, [](std::uint8_t c) { return kMulawTable[c]; });
}

std::size_t AlawEncode(std::span<const std::int32_t> samples, std::span<std::uint8_t> codes) {
  return ConvertAll(samples, codes, [](std::int32_t x) { return EncodeAlaw(x); });
}

std::size_t AlawDecode(std::span<const std::uint8_t> codes, std::span<std::int32_t> samples) {
  return ConvertAll(codes, samples, [](std::uint8_t c) { return kAlawTable[c]; });
}

}  // namespace corvina::media
