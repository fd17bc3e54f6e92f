#include "media/gsm_core.h"

#include <algorithm>

#include "media/gsm_arith.h"
#include "media/gsm_rpe.h"

namespace corvina::media::gsm {

void AnalyseFrame(AnalysisState& state, std::span<std::int16_t, kFrameSamples> s, FrameParams& params) {
  AnalyseLpc(s, params.lar);
  std::int16_t larpp[8];
  DecodeLars(params.lar, larpp);
  ShortTermAnalysis(state.shortTerm, state.previousLarpp, larpp, s);
  std::copy(std::begin(larpp), std::end(larpp), std::begin(state.previousLarpp));

  for (int j = 0; j < kSubFrames; ++j) {
    const std::span<const std::int16_t, kSubFrameSamples> d = s.subspan(j * kSubFrameSamples).first<kSubFrameSamples>();
    const LtpChoice choice = ChooseLtp(d, state.history);
    std::int16_t e[kSubFrameSamples];
    std::int16_t prediction[kSubFrameSamples];
    LtpAnalysisFilter(choice, d, state.history, e, prediction);
    SubFrameParams& sub = params.sub[j];
    sub.lag = choice.lag;
    sub.gain = choice.gain;
    std::int16_t excitation[kSubFrameSamples];
    EncodeRpe(e, sub, excitation);
    // What the decoder will hold as residual: rebuilt excitation plus the prediction.
    std::int16_t reconstructed[kSubFrameSamples];
    for (int k = 0; k < kSubFrameSamples; ++k) reconstructed[k] = Add(excitation[k], prediction[k]);
    PushHistory(state.history, reconstructed);
  }
}

void SynthesiseFrame(SynthesisState& state, const FrameParams& params, std::span<std::int16_t, kFrameSamples> out) {
  for (int j = 0; j < kSubFrames; ++j) {
    const SubFrameParams& sub = params.sub[j];
    std::int16_t excitation[kSubFrameSamples];
    DecodeRpe(sub, excitation);
    LtpSynthesis(state.longTerm, {sub.lag, sub.gain}, excitation, out.subspan(j * kSubFrameSamples).first<kSubFrameSamples>());
  }
  std::int16_t larpp[8];
  DecodeLars(params.lar, larpp);
  ShortTermSynthesis(state.shortTerm, state.previousLarpp, larpp, out);
  std::copy(std::begin(larpp), std::end(larpp), std::begin(state.previousLarpp));
}

}  // namespace corvina::media::gsm
