// G.726 at 32 kbit/s (4-bit codes) with linear input and output: the ITU-T fixed-point
// algorithm (adaptive quantizer, pole-zero predictor with sign-sign adaptation, tone and
// transition detector, speed control). Encoder input is 14-bit linear taken from the internal
// scale as (x + 32) >> 6; decoder output is the 14-bit reconstruction times 64. Two codes share a
// byte, the first in the high nibble. The caller owns the state; nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace corvina::media {

// The adaptive state of one G.726 encoder or decoder. dq[] and sr[] hold the standard's
// 11-bit floating-point form (sign << 10 | exponent << 6 | mantissa).
struct G726State {
  std::int32_t yl = 34816;  // slow quantizer scale factor
  std::int32_t yu = 544;    // fast quantizer scale factor
  std::int32_t dms = 0;     // short-term average of F(I)
  std::int32_t dml = 0;     // long-term average of F(I)
  std::int32_t ap = 0;      // speed-control parameter
  std::int32_t a[2] = {0, 0};
  std::int32_t b[6] = {0, 0, 0, 0, 0, 0};
  std::int32_t dq[6] = {32, 32, 32, 32, 32, 32};
  std::int32_t sr[2] = {32, 32};
  std::int32_t pk[2] = {0, 0};
  std::int32_t td = 0;
};

// One step on 14-bit samples and 4-bit codes, for callers that pack codes themselves.
std::uint8_t G726EncodeSample(G726State& state, std::int32_t linear14);
std::int32_t G726DecodeCode(G726State& state, std::uint8_t code);

class G726Encoder {
 public:
  void Reset() { state_ = G726State{}; }
  // Encodes whole sample pairs into bytes (160 samples -> 80 bytes); returns bytes written,
  // at most codes.size(). A trailing odd sample is not encoded.
  std::size_t Encode(std::span<const std::int32_t> samples, std::span<std::uint8_t> codes);

 private:
  G726State state_;
};

class G726Decoder {
 public:
  void Reset() { state_ = G726State{}; }
  // Decodes bytes into two samples each; returns samples written (a whole number of bytes
  // that fit in `samples`).
  std::size_t Decode(std::span<const std::uint8_t> codes, std::span<std::int32_t> samples);

 private:
  G726State state_;
};

}  // namespace corvina::media
