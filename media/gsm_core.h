// GSM 06.10 full-rate analysis (preprocessed 160-sample frame -> 76 parameters) and synthesis
// (76 parameters -> 160 reconstructed samples before post-processing), in the standard's
// fixed-point arithmetic. The front and back ends that move samples to and from the internal
// scale are in gsm_codec.h.
#pragma once

#include <cstdint>
#include <span>

#include "media/gsm_frame.h"
#include "media/gsm_long_term.h"
#include "media/gsm_lpc.h"
#include "media/sample_scale.h"

namespace corvina::media::gsm {

struct AnalysisState {
  ShortTermAnalysisMemory shortTerm;
  std::int16_t previousLarpp[8] = {};
  std::int16_t history[kHistory] = {};  // reconstructed short-term residual
};

struct SynthesisState {
  ShortTermSynthesisMemory shortTerm;
  std::int16_t previousLarpp[8] = {};
  LtpSynthesisState longTerm;
};

// `s` holds the preprocessed frame on entry and is used as working space.
void AnalyseFrame(AnalysisState& state, std::span<std::int16_t, kFrameSamples> s, FrameParams& params);

void SynthesiseFrame(SynthesisState& state, const FrameParams& params, std::span<std::int16_t, kFrameSamples> out);

}  // namespace corvina::media::gsm
