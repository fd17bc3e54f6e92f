#include "media/gsm_lpc.h"

#include "media/gsm_arith.h"

namespace corvina::media::gsm {
namespace {

// LAR quantizer: slope A, offset B and code range [MIC, MAC] per coefficient, and 1/A.
constexpr Word kLarA[8] = {20480, 20480, 20480, 20480, 13964, 15360, 8534, 9036};
constexpr Word kLarB[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
constexpr Word kLarMin[8] = {-32, -32, -16, -16, -8, -8, -4, -4};
constexpr Word kLarMax[8] = {31, 31, 15, 15, 7, 7, 3, 3};
constexpr Word kLarInverseA[8] = {13107, 13107, 13107, 13107, 19223, 17476, 31454, 29708};

void Autocorrelation(std::span<Word, 160> s, LongWord acf[9]) {
  Word peak = 0;
  for (Word v : s) {
    const Word magnitude = Abs(v);
    if (magnitude > peak) peak = magnitude;
  }
  const int scale = peak == 0 ? 0 : 4 - Norm(static_cast<LongWord>(peak) << 16);
  if (scale > 0) {
    const Word factor = static_cast<Word>(16384 >> (scale - 1));
    for (Word& v : s) v = MultR(v, factor);
  }
  for (int k = 0; k < 9; ++k) {
    std::int64_t sum = 0;
    for (int i = k; i < 160; ++i) sum += LMult(s[i], s[i - k]);
    acf[k] = static_cast<LongWord>(sum);
  }
  if (scale > 0) {
    for (Word& v : s) v = static_cast<Word>(v << scale);
  }
}

// Schur recursion: reflection coefficients r[0..7] from the autocorrelation.
void Reflection(const LongWord acf[9], Word r[8]) {
  for (int i = 0; i < 8; ++i) r[i] = 0;
  if (acf[0] == 0) return;
  const int shift = Norm(acf[0]);
  Word p[9];
  Word k[9];
  for (int i = 0; i < 9; ++i) p[i] = static_cast<Word>((acf[i] << shift) >> 16);
  for (int i = 1; i < 8; ++i) k[9 - i] = p[i];
  for (int n = 1; n <= 8; ++n) {
    if (p[0] < Abs(p[1])) return;  // the rest stay 0
    Word rn = Div(Abs(p[1]), p[0]);
    if (p[1] > 0) rn = Sub(0, rn);
    r[n - 1] = rn;
    if (n == 8) return;
    p[0] = Add(p[0], MultR(p[1], rn));
    for (int m = 1; m <= 8 - n; ++m) {
      p[m] = Add(p[m + 1], MultR(k[9 - m], rn));
      k[9 - m] = Add(k[9 - m], MultR(p[m + 1], rn));
    }
  }
}

// Reflection coefficient to log-area ratio (piecewise linear approximation).
Word ToLar(Word r) {
  Word magnitude = Abs(r);
  if (magnitude < 22118) {
    magnitude = static_cast<Word>(magnitude >> 1);
  } else if (magnitude < 31130) {
    magnitude = static_cast<Word>(magnitude - 11059);
  } else {
    magnitude = static_cast<Word>((magnitude - 26112) << 2);
  }
  return r < 0 ? static_cast<Word>(-magnitude) : magnitude;
}

// Log-area ratio back to a reflection coefficient.
Word ToReflection(Word lar) {
  Word magnitude = Abs(lar);
  if (magnitude < 11059) {
    magnitude = static_cast<Word>(magnitude << 1);
  } else if (magnitude < 20070) {
    magnitude = static_cast<Word>(magnitude + 11059);
  } else {
    magnitude = Add(static_cast<Word>(magnitude >> 2), 26112);
  }
  return lar < 0 ? static_cast<Word>(-magnitude) : magnitude;
}

// The four interpolation segments of a frame: samples [0,13), [13,27), [27,40), [40,160).
struct Segment {
  int begin;
  int end;
};
constexpr Segment kSegments[4] = {{0, 13}, {13, 27}, {27, 40}, {40, 160}};

void InterpolatedReflection(int segment, std::span<const Word, 8> previous, std::span<const Word, 8> current,
                            Word rp[8]) {
  for (int i = 0; i < 8; ++i) {
    Word lar = 0;
    const Word old = previous[i];
    const Word now = current[i];
    switch (segment) {
      case 0:
        lar = Add(Add(static_cast<Word>(old >> 2), static_cast<Word>(now >> 2)), static_cast<Word>(old >> 1));
        break;
      case 1:
        lar = Add(static_cast<Word>(old >> 1), static_cast<Word>(now >> 1));
        break;
      case 2:
        lar = Add(Add(static_cast<Word>(old >> 2), static_cast<Word>(now >> 2)), static_cast<Word>(now >> 1));
        break;
      default:
        lar = now;
        break;
    }
    rp[i] = ToReflection(lar);
  }
}

}  // namespace

void AnalyseLpc(std::span<std::int16_t, 160> s, std::span<std::int16_t, 8> larCodes) {
  LongWord acf[9];
  Autocorrelation(s, acf);
  Word r[8];
  Reflection(acf, r);
  for (int i = 0; i < 8; ++i) {
    const Word lar = ToLar(r[i]);
    Word code = Add(Add(Mult(kLarA[i], lar), kLarB[i]), 256);
    code = static_cast<Word>(code >> 9);
    if (code < kLarMin[i]) code = kLarMin[i];
    if (code > kLarMax[i]) code = kLarMax[i];
    larCodes[i] = static_cast<Word>(code - kLarMin[i]);
  }
}

void DecodeLars(std::span<const std::int16_t, 8> larCodes, std::span<std::int16_t, 8> larpp) {
  for (int i = 0; i < 8; ++i) {
    Word value = static_cast<Word>(Add(larCodes[i], kLarMin[i]) << 10);
    value = Sub(value, static_cast<Word>(kLarB[i] << 1));
    value = MultR(kLarInverseA[i], value);
    larpp[i] = Add(value, value);
  }
}

void ShortTermAnalysis(ShortTermAnalysisMemory& memory, std::span<const std::int16_t, 8> previousLarpp,
                       std::span<const std::int16_t, 8> larpp, std::span<std::int16_t, 160> samples) {
  Word* u = memory.u;
  for (int segment = 0; segment < 4; ++segment) {
    Word rp[8];
    InterpolatedReflection(segment, previousLarpp, larpp, rp);
    for (int k = kSegments[segment].begin; k < kSegments[segment].end; ++k) {
      Word di = samples[k];
      Word saved = di;
      for (int i = 0; i < 8; ++i) {
        const Word next = Add(u[i], MultR(rp[i], di));
        di = Add(di, MultR(rp[i], u[i]));
        u[i] = saved;
        saved = next;
      }
      samples[k] = di;
    }
  }
}

void ShortTermSynthesis(ShortTermSynthesisMemory& memory, std::span<const std::int16_t, 8> previousLarpp,
                        std::span<const std::int16_t, 8> larpp, std::span<std::int16_t, 160> samples) {
  Word* v = memory.v;
  for (int segment = 0; segment < 4; ++segment) {
    Word rrp[8];
    InterpolatedReflection(segment, previousLarpp, larpp, rrp);
    for (int k = kSegments[segment].begin; k < kSegments[segment].end; ++k) {
      Word sri = samples[k];
      for (int i = 7; i >= 0; --i) {
        sri = Sub(sri, MultR(rrp[i], v[i]));
        v[i + 1] = Add(v[i], MultR(rrp[i], sri));
      }
      samples[k] = sri;
      v[0] = sri;
    }
  }
}

}  // namespace corvina::media::gsm
