#include "media/gsm_long_term.h"

#include <algorithm>

#include "media/gsm_arith.h"

namespace corvina::media::gsm {
namespace {

// Decision levels and quantized values of the LTP gain.
constexpr Word kGainLevels[4] = {6554, 16384, 26214, 32767};
constexpr Word kGainValues[4] = {3277, 11469, 21299, 32767};

// history[k - lag] for sub-frame position k.
inline Word Past(std::span<const Word, kHistory> history, int k, int lag) { return history[kHistory + k - lag]; }

}  // namespace

LtpChoice ChooseLtp(std::span<const std::int16_t, kSubFrameSamples> d, std::span<const std::int16_t, kHistory> history) {
  Word peak = 0;
  for (Word v : d) peak = std::max(peak, Abs(v));
  const int headroom = peak == 0 ? 0 : Norm(static_cast<LongWord>(peak) << 16);
  const int scale = headroom > 6 ? 0 : 6 - headroom;
  Word wt[kSubFrameSamples];
  for (int k = 0; k < kSubFrameSamples; ++k) wt[k] = static_cast<Word>(d[k] >> scale);

  // Cross-correlation search over lags 40..120; the first maximum wins.
  LongWord best = 0;
  int lag = 40;
  for (int lambda = 40; lambda <= 120; ++lambda) {
    const Word* past = history.data() + kHistory - lambda;
    LongWord sum = 0;
    for (int k = 0; k < kSubFrameSamples; ++k) sum += static_cast<LongWord>(wt[k]) * past[k];
    if (sum > best) {
      best = sum;
      lag = lambda;
    }
  }
  best = (best << 1) >> (6 - scale);

  LongWord power = 0;
  for (int k = 0; k < kSubFrameSamples; ++k) {
    const Word v = static_cast<Word>(Past(history, k, lag) >> 3);
    power = LAdd(power, LMult(v, v));
  }
  LtpChoice choice{static_cast<std::int16_t>(lag), 0};
  if (best <= 0) return choice;
  if (best >= power) {
    choice.gain = 3;
    return choice;
  }
  const int shift = Norm(power);
  const Word r = static_cast<Word>((best << shift) >> 16);
  const Word s = static_cast<Word>((power << shift) >> 16);
  int gain = 0;
  while (gain < 3 && r > Mult(s, kGainLevels[gain])) ++gain;
  choice.gain = static_cast<std::int16_t>(gain);
  return choice;
}

void LtpAnalysisFilter(LtpChoice choice, std::span<const std::int16_t, kSubFrameSamples> d,
                       std::span<const std::int16_t, kHistory> history,
                       std::span<std::int16_t, kSubFrameSamples> e,
                       std::span<std::int16_t, kSubFrameSamples> prediction) {
  const Word gain = kGainValues[choice.gain];
  for (int k = 0; k < kSubFrameSamples; ++k) {
    prediction[k] = MultR(gain, Past(history, k, choice.lag));
    e[k] = Sub(d[k], prediction[k]);
  }
}

void LtpSynthesis(LtpSynthesisState& state, LtpChoice choice, std::span<const std::int16_t, kSubFrameSamples> excitation,
                  std::span<std::int16_t, kSubFrameSamples> out) {
  // A lag outside 40..120 (a damaged frame) keeps the previous one.
  const int lag = choice.lag < 40 || choice.lag > 120 ? state.lastLag : choice.lag;
  state.lastLag = static_cast<std::int16_t>(lag);
  const Word gain = kGainValues[choice.gain & 3];
  for (int k = 0; k < kSubFrameSamples; ++k) {
    out[k] = Add(excitation[k], MultR(gain, Past(state.history, k, lag)));
  }
  PushHistory(state.history, out);
}

void PushHistory(std::span<std::int16_t, kHistory> history, std::span<const std::int16_t, kSubFrameSamples> newest) {
  std::copy(history.begin() + kSubFrameSamples, history.end(), history.begin());
  std::copy(newest.begin(), newest.end(), history.end() - kSubFrameSamples);
}

}  // namespace corvina::media::gsm
