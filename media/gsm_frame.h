// The 76 parameters of one GSM 06.10 frame and their 33-byte form of RFC 3551: the signature
// nibble 0xD, then LAR1..LAR8 and per sub-frame lag, gain, grid, block maximum and 13 pulses,
// every field most significant bit first.
#pragma once

#include <cstdint>
#include <span>

namespace corvina::media::gsm {

inline constexpr int kFrameBytes = 33;
inline constexpr int kSubFrames = 4;
inline constexpr int kPulses = 13;

struct SubFrameParams {
  std::int16_t lag = 40;     // Nc, 40..120 (7 bits)
  std::int16_t gain = 0;     // bc (2 bits)
  std::int16_t grid = 0;     // Mc (2 bits)
  std::int16_t blockMax = 0; // xmaxc (6 bits)
  std::int16_t pulses[kPulses] = {};  // xMc (3 bits each)
};

struct FrameParams {
  std::int16_t lar[8] = {};  // LARc as sent: 6, 6, 5, 5, 4, 4, 3, 3 bits
  SubFrameParams sub[kSubFrames];
};

void PackFrame(const FrameParams& params, std::span<std::uint8_t, kFrameBytes> out);
// Returns false when the signature nibble is not 0xD (the fields are read all the same).
bool UnpackFrame(std::span<const std::uint8_t, kFrameBytes> in, FrameParams& params);

}  // namespace corvina::media::gsm
