#include "media/g726.h"

#include <algorithm>
#include <array>
#include <bit>

#include "media/sample_scale.h"

namespace corvina::media {
namespace {

// Quantizer decision levels for |I| = 1..7 in the log domain (units of 1/128 of log2).
constexpr std::array<int, 7> kQuantizerLevels = {-124, 80, 178, 246, 300, 349, 400};
// Inverse quantizer output (log domain) for each 4-bit code.
constexpr std::array<int, 16> kReconstructLog = {-2048, 4,   135, 213, 273, 323, 373, 425,
                                                 425,   373, 323, 273, 213, 135, 4,   -2048};
// Scale-factor multiplier W(|I|) and rate-of-change function F(|I|).
constexpr std::array<int, 8> kScaleWeight = {-12, 18, 41, 64, 112, 198, 355, 1122};
constexpr std::array<int, 8> kRateWeight = {0, 0, 0, 1, 1, 1, 3, 7};

constexpr std::int32_t Wrap16(std::int32_t value) { return static_cast<std::int16_t>(value); }

// 11-bit floating-point form of a sign and a 15-bit magnitude (FLOATA, FLOATB).
constexpr std::int32_t ToFloat(bool negative, std::int32_t magnitude) {
  const int exponent = std::bit_width(static_cast<std::uint32_t>(magnitude));
  const std::int32_t mantissa = magnitude == 0 ? 32 : (magnitude << 6) >> exponent;
  return (negative ? 1 << 10 : 0) | (exponent << 6) | mantissa;
}

// Product of a predictor coefficient (already divided by 4) and a value in floating-point
// form, as the standard's FMULT: 6-bit mantissas multiplied, result as a 16-bit integer.
constexpr std::int32_t FloatMultiply(std::int32_t coefficient, std::int32_t value) {
  const std::int32_t magnitude = coefficient >= 0 ? coefficient : (-coefficient) & 8191;
  const int exponent = std::bit_width(static_cast<std::uint32_t>(magnitude));
  const std::int32_t mantissa = magnitude == 0 ? 32 : (magnitude << 6) >> exponent;
  const int productExponent = exponent + ((value >> 6) & 15);
  const std::int32_t productMantissa = (mantissa * (value & 63) + 48) >> 4;
  const std::int32_t product = productExponent >= 19
                                   ? (productMantissa << (productExponent - 19)) & 32767
                                   : productMantissa >> (19 - productExponent);
  const bool negative = (coefficient < 0) != (((value >> 10) & 1) != 0);
  return negative ? -product : product;
}

struct Estimate {
  std::int32_t se;   // signal estimate
  std::int32_t sez;  // its zero-section part
  std::int32_t y;    // quantizer scale factor
};

Estimate Predict(const G726State& s) {
  std::int32_t sezi = 0;
  for (int n = 0; n < 6; ++n) sezi += FloatMultiply(s.b[n] >> 2, s.dq[n]);
  sezi = Wrap16(sezi);
  const std::int32_t sei = Wrap16(sezi + FloatMultiply(s.a[1] >> 2, s.sr[1]) + FloatMultiply(s.a[0] >> 2, s.sr[0]));
  // Speed control mixes the fast and slow scale factors; the product truncates toward zero.
  const std::int32_t al = s.ap >= 256 ? 64 : s.ap >> 2;
  const std::int32_t slow = s.yl >> 6;
  const std::int32_t difference = s.yu - slow;
  const std::int32_t product = difference >= 0 ? (difference * al) >> 6 : -((-difference * al) >> 6);
  return {sei >> 1, sezi >> 1, slow + product};
}

// Updates every adaptive quantity after one code, shared by encoder and decoder. Returns the
// reconstructed signal.
std::int32_t Reconstruct(G726State& s, const Estimate& e, std::uint8_t code) {
  const int index = code < 8 ? code : 15 - code;  // |I|
  const bool negative = (code & 8) != 0;
  // Inverse quantizer: back from the log domain with the scale factor added.
  const std::int32_t dql = kReconstructLog[code] + (e.y >> 2);
  std::int32_t dqMagnitude = 0;
  if (dql >= 0) {
    const int exponent = (dql >> 7) & 15;
    dqMagnitude = ((128 + (dql & 127)) << 7) >> (14 - exponent);
  }
  const std::int32_t dq = negative ? -dqMagnitude : dqMagnitude;
  const std::int32_t sr = Wrap16(e.se + dq);
  const std::int32_t dqsez = Wrap16(dq + e.sez);
  const std::int32_t pk0 = dqsez < 0 ? 1 : 0;
  const bool noUpdate = dqsez == 0;

  // Transition detector: a large difference while a tone is seen resets the predictor.
  const std::int32_t ylInt = s.yl >> 15;
  const std::int32_t ylFrac = (s.yl >> 10) & 31;
  const std::int32_t thr1 = (32 + ylFrac) << ylInt;
  const std::int32_t thr2 = ylInt > 9 ? 31 << 10 : thr1;
  const std::int32_t dqThreshold = (thr2 + (thr2 >> 1)) >> 1;
  const bool transition = s.td != 0 && dqMagnitude > dqThreshold;

  // Quantizer scale factor adaptation.
  const std::int32_t yut = e.y + (((kScaleWeight[index] << 5) - e.y) >> 5);
  const std::int32_t yup = std::clamp(yut, 544, 5120);
  const std::int32_t ylp = s.yl + yup + ((-s.yl) >> 6);

  // Predictor coefficients (sign-sign adaptation, stability limits).
  std::int32_t a2p = 0;
  if (transition) {
    s.a[0] = s.a[1] = 0;
    std::fill(std::begin(s.b), std::end(s.b), 0);
  } else {
    const std::int32_t pks1 = pk0 ^ s.pk[0];
    const std::int32_t pks2 = pk0 ^ s.pk[1];
    a2p = s.a[1] - (s.a[1] >> 7);
    if (!noUpdate) {
      const std::int32_t fa1 = std::clamp(s.a[0], -8191, 8191) << 2;
      const std::int32_t fa = pks1 ? fa1 : -fa1;
      a2p += ((pks2 ? -16384 : 16384) + fa) >> 7;
    }
    a2p = std::clamp(a2p, -12288, 12288);
    std::int32_t a1t = s.a[0] - (s.a[0] >> 8);
    if (!noUpdate) a1t += pks1 ? -192 : 192;
    const std::int32_t a1Limit = 15360 - a2p;
    s.a[0] = std::clamp(a1t, -a1Limit, a1Limit);
    s.a[1] = a2p;
    for (int n = 0; n < 6; ++n) {
      std::int32_t bn = s.b[n] - (s.b[n] >> 8);
      if (dqMagnitude != 0) {
        const bool storedNegative = ((s.dq[n] >> 10) & 1) != 0;
        bn += negative != storedNegative ? -128 : 128;
      }
      s.b[n] = bn;
    }
  }

  // Delay line of quantized differences and reconstructed signals.
  for (int n = 5; n > 0; --n) s.dq[n] = s.dq[n - 1];
  s.dq[0] = ToFloat(negative, dqMagnitude);
  s.sr[1] = s.sr[0];
  s.sr[0] = ToFloat(sr < 0, sr < 0 ? (-sr) & 32767 : sr);
  s.pk[1] = s.pk[0];
  s.pk[0] = pk0;

  // Tone detector and adaptation speed control.
  s.td = !transition && a2p < -11776 ? 1 : 0;
  const std::int32_t fi = kRateWeight[index];
  s.dms += ((fi << 9) - s.dms) >> 5;
  s.dml += ((fi << 11) - s.dml) >> 7;
  const std::int32_t spread = (s.dms << 2) - s.dml;
  const bool fast = e.y < 1536 || s.td != 0 || (spread < 0 ? -spread : spread) >= (s.dml >> 3);
  s.ap = transition ? 256 : s.ap + (((fast ? 512 : 0) - s.ap) >> 4);
  s.yu = yup;
  s.yl = ylp;
  return sr;
}

std::uint8_t Quantize(std::int32_t difference, std::int32_t y) {
  const std::int32_t magnitude = difference < 0 ? -difference : difference;
  const int exponent = std::bit_width(static_cast<std::uint32_t>(magnitude >> 1));
  const std::int32_t logMagnitude = (exponent << 7) + (((magnitude << 7) >> exponent) & 127);
  const std::int32_t normalized = logMagnitude - (y >> 2);
  int index = 0;
  while (index < 7 && normalized >= kQuantizerLevels[index]) ++index;
  // The all-zero code is never sent: a zero magnitude goes out as 15.
  if (difference < 0) return static_cast<std::uint8_t>(15 - index);
  return static_cast<std::uint8_t>(index == 0 ? 15 : index);
}

}  // namespace

std::uint8_t G726EncodeSample(G726State& state, std::int32_t linear14) {
  const Estimate e = Predict(state);
  const std::uint8_t code = Quantize(linear14 - e.se, e.y);
  Reconstruct(state, e, code);
  return code;
}

std::int32_t G726DecodeCode(G726State& state, std::uint8_t code) {
  const Estimate e = Predict(state);
  return Reconstruct(state, e, code & 15);
}

std::size_t G726Encoder::Encode(std::span<const std::int32_t> samples, std::span<std::uint8_t> codes) {
  const std::size_t count = std::min(samples.size() / 2, codes.size());
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t pair[2];
    for (int k = 0; k < 2; ++k) {
      // 14-bit linear input, clipped rather than wrapped for loud samples.
      const std::int32_t linear = Saturate((static_cast<std::int64_t>(samples[2 * i + k]) + 32) >> 6, -8192, 8191);
      pair[k] = G726EncodeSample(state_, linear);
    }
    codes[i] = static_cast<std::uint8_t>((pair[0] << 4) | pair[1]);
  }
  return count;
}

std::size_t G726Decoder::Decode(std::span<const std::uint8_t> codes, std::span<std::int32_t> samples) {
  const std::size_t count = std::min(codes.size(), samples.size() / 2);
  for (std::size_t i = 0; i < count; ++i) {
    samples[2 * i] = ClipToFullScale(static_cast<std::int64_t>(G726DecodeCode(state_, codes[i] >> 4)) * 64);
    samples[2 * i + 1] = ClipToFullScale(static_cast<std::int64_t>(G726DecodeCode(state_, codes[i] & 15)) * 64);
  }
  return 2 * count;
}

}  // namespace corvina::media
