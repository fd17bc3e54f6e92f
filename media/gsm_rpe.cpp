#include "media/gsm_rpe.h"

#include <algorithm>

#include "media/gsm_arith.h"

namespace corvina::media::gsm {
namespace {

// Impulse response of the weighting filter (scaled by 2^13).
constexpr Word kWeighting[11] = {-134, -374, 0, 2054, 5741, 8192, 5741, 2054, 0, -374, -134};
// Normalised inverse mantissas, and the mantissa values of the inverse quantizer.
constexpr Word kInverseMantissa[8] = {29128, 26215, 23832, 21846, 20165, 18725, 17476, 16384};
constexpr Word kMantissaValue[8] = {18431, 20479, 22527, 24575, 26623, 28671, 30719, 32767};

struct ExponentMantissa {
  int exponent;
  int mantissa;
};

// Splits a coded block maximum into exponent and 3-bit mantissa.
ExponentMantissa SplitBlockMax(int blockMax) {
  int exponent = blockMax > 15 ? (blockMax >> 3) - 1 : 0;
  int mantissa = blockMax - (exponent << 3);
  if (mantissa == 0) return {-4, 7};
  while (mantissa <= 7) {
    mantissa = (mantissa << 1) | 1;
    --exponent;
  }
  return {exponent, mantissa - 8};
}

void InverseQuantize(const SubFrameParams& params, Word pulses[kPulses]) {
  const ExponentMantissa em = SplitBlockMax(params.blockMax & 63);
  const Word factor = kMantissaValue[em.mantissa];
  const int shift = 6 - em.exponent;
  const Word rounding = Asl(1, shift - 1);
  for (int i = 0; i < kPulses; ++i) {
    const Word level = static_cast<Word>((((params.pulses[i] & 7) << 1) - 7) << 12);
    pulses[i] = Asr(Add(MultR(factor, level), rounding), shift);
  }
}

void PlaceOnGrid(int grid, const Word pulses[kPulses], std::span<std::int16_t, kSubFrameSamples> excitation) {
  std::fill(excitation.begin(), excitation.end(), Word{0});
  for (int i = 0; i < kPulses; ++i) excitation[grid + 3 * i] = pulses[i];
}

}  // namespace

void EncodeRpe(std::span<const std::int16_t, kSubFrameSamples> e, SubFrameParams& params,
               std::span<std::int16_t, kSubFrameSamples> excitation) {
  // Weighting filter over e with five zeros on either side.
  Word x[kSubFrameSamples];
  for (int k = 0; k < kSubFrameSamples; ++k) {
    LongWord sum = 4096;
    for (int i = 0; i < 11; ++i) {
      const int n = k + i - 5;
      if (n >= 0 && n < kSubFrameSamples) sum += static_cast<LongWord>(e[n]) * kWeighting[i];
    }
    x[k] = SaturateWord(sum >> 13);
  }

  // The grid with the most energy.
  int grid = 0;
  LongWord bestEnergy = 0;
  for (int m = 0; m < 4; ++m) {
    LongWord energy = 0;
    for (int i = 0; i < kPulses; ++i) {
      const Word v = static_cast<Word>(x[m + 3 * i] >> 2);
      energy = LAdd(energy, LMult(v, v));
    }
    if (energy > bestEnergy) {
      grid = m;
      bestEnergy = energy;
    }
  }
  Word selected[kPulses];
  Word peak = 0;
  for (int i = 0; i < kPulses; ++i) {
    selected[i] = x[grid + 3 * i];
    peak = std::max(peak, Abs(selected[i]));
  }

  // Block maximum: a 3-bit mantissa under an exponent found from the peak.
  int exponent = 0;
  {
    Word temp = static_cast<Word>(peak >> 9);
    bool reached = false;
    for (int i = 0; i < 6; ++i) {
      reached = reached || temp <= 0;
      temp = static_cast<Word>(temp >> 1);
      if (!reached) ++exponent;
    }
  }
  const Word blockMax = Add(static_cast<Word>(peak >> (exponent + 5)), static_cast<Word>(exponent << 3));

  // Pulses normalised by the coded block maximum, 3 bits each.
  const ExponentMantissa em = SplitBlockMax(blockMax);
  const int shift = 6 - em.exponent;
  const Word inverse = kInverseMantissa[em.mantissa];
  for (int i = 0; i < kPulses; ++i) {
    const Word scaled = static_cast<Word>(selected[i] << shift);
    params.pulses[i] = static_cast<std::int16_t>((Mult(scaled, inverse) >> 12) + 4);
  }
  params.grid = static_cast<std::int16_t>(grid);
  params.blockMax = blockMax;
  DecodeRpe(params, excitation);
}

void DecodeRpe(const SubFrameParams& params, std::span<std::int16_t, kSubFrameSamples> excitation) {
  Word pulses[kPulses];
  InverseQuantize(params, pulses);
  PlaceOnGrid(params.grid & 3, pulses, excitation);
}

}  // namespace corvina::media::gsm
