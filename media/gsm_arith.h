// The 16- and 32-bit fixed-point operations GSM 06.10 is written in: saturating add and
// subtract, fractional multiplies (truncating and rounding), normalisation, division of two
// positive fractions, and shifts whose negative counts shift the other way.
#pragma once

#include <cstdint>

namespace corvina::media::gsm {

using Word = std::int16_t;
using LongWord = std::int32_t;

constexpr Word SaturateWord(std::int32_t value) {
  return static_cast<Word>(value < -32768 ? -32768 : (value > 32767 ? 32767 : value));
}

constexpr Word Add(Word a, Word b) { return SaturateWord(a + b); }
constexpr Word Sub(Word a, Word b) { return SaturateWord(a - b); }

// a * b / 2^15, truncated; the one overflowing product (-1 * -1) gives the largest value.
constexpr Word Mult(Word a, Word b) {
  if (a == -32768 && b == -32768) return 32767;
  return static_cast<Word>((static_cast<std::int32_t>(a) * b) >> 15);
}

// a * b / 2^15, rounded.
constexpr Word MultR(Word a, Word b) {
  if (a == -32768 && b == -32768) return 32767;
  return static_cast<Word>((static_cast<std::int32_t>(a) * b + 16384) >> 15);
}

constexpr Word Abs(Word a) { return a == -32768 ? Word{32767} : static_cast<Word>(a < 0 ? -a : a); }

// 2 * a * b as a 32-bit value.
constexpr LongWord LMult(Word a, Word b) { return static_cast<LongWord>(a) * b * 2; }

constexpr LongWord LAdd(LongWord a, LongWord b) {
  const std::int64_t sum = static_cast<std::int64_t>(a) + b;
  return static_cast<LongWord>(sum < INT32_MIN ? INT32_MIN : (sum > INT32_MAX ? INT32_MAX : sum));
}

// Left shifts that bring a non-zero value into [2^30, 2^31) (or the negative mirror).
constexpr int Norm(LongWord a) {
  std::uint32_t v = static_cast<std::uint32_t>(a < 0 ? ~a : a);
  int shifts = 0;
  while (v < 0x40000000u) {
    v <<= 1;
    ++shifts;
  }
  return shifts;
}

// num / denum as a 15-bit fraction, for 0 <= num <= denum and denum > 0.
constexpr Word Div(Word num, Word denum) {
  if (num == 0) return 0;
  std::int32_t remainder = num;
  Word quotient = 0;
  for (int k = 0; k < 15; ++k) {
    quotient = static_cast<Word>(quotient << 1);
    remainder <<= 1;
    if (remainder >= denum) {
      remainder -= denum;
      ++quotient;
    }
  }
  return quotient;
}

// Arithmetic shifts where a negative count shifts the other way.
constexpr Word Asr(Word a, int n);
constexpr Word Asl(Word a, int n) {
  if (n >= 16) return 0;
  if (n <= -16) return static_cast<Word>(a < 0 ? -1 : 0);
  if (n < 0) return Asr(a, -n);
  return static_cast<Word>(static_cast<std::int32_t>(a) * (1 << n));
}
constexpr Word Asr(Word a, int n) {
  if (n >= 16) return static_cast<Word>(a < 0 ? -1 : 0);
  if (n <= -16) return 0;
  if (n < 0) return Asl(a, -n);
  return static_cast<Word>(a >> n);
}

}  // namespace corvina::media::gsm
