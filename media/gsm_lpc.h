// GSM 06.10 short-term (LPC) part: analysis of a 160-sample frame into coded log-area ratios,
// their decoding, the per-segment interpolation into reflection coefficients, and the
// short-term analysis and synthesis lattice filters.
#pragma once

#include <cstdint>
#include <span>

namespace corvina::media::gsm {

// Autocorrelation, Schur recursion, LAR transform and quantization. `s` is the preprocessed
// frame; like the standard, it comes back rescaled by the autocorrelation's scaling.
void AnalyseLpc(std::span<std::int16_t, 160> s, std::span<std::int16_t, 8> larCodes);

// Decoded LARs (LARpp) from their codes.
void DecodeLars(std::span<const std::int16_t, 8> larCodes, std::span<std::int16_t, 8> larpp);

// Lattice filter memories of the encoder (u) and the decoder (v).
struct ShortTermAnalysisMemory {
  std::int16_t u[8] = {};
};
struct ShortTermSynthesisMemory {
  std::int16_t v[9] = {};
};

// Filters the frame in place with coefficients interpolated from the previous frame's
// decoded LARs to this frame's.
void ShortTermAnalysis(ShortTermAnalysisMemory& memory, std::span<const std::int16_t, 8> previousLarpp,
                       std::span<const std::int16_t, 8> larpp, std::span<std::int16_t, 160> samples);
void ShortTermSynthesis(ShortTermSynthesisMemory& memory, std::span<const std::int16_t, 8> previousLarpp,
                        std::span<const std::int16_t, 8> larpp, std::span<std::int16_t, 160> samples);

}  // namespace corvina::media::gsm
