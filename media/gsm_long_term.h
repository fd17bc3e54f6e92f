// GSM 06.10 long-term prediction over one 40-sample sub-frame: the lag and gain search
// against the 120 past reconstructed residual samples, the analysis filter, and the decoder's
// synthesis filter.
#pragma once

#include <cstdint>
#include <span>

namespace corvina::media::gsm {

inline constexpr int kSubFrameSamples = 40;
inline constexpr int kHistory = 120;

struct LtpChoice {
  std::int16_t lag;   // Nc, 40..120
  std::int16_t gain;  // bc, 0..3
};

// Chooses lag and gain for residual `d` given the history (oldest first, history[119] is the
// sample just before the sub-frame).
LtpChoice ChooseLtp(std::span<const std::int16_t, kSubFrameSamples> d, std::span<const std::int16_t, kHistory> history);

// e = d - prediction; `prediction` receives the scaled history the decoder will add back.
void LtpAnalysisFilter(LtpChoice choice, std::span<const std::int16_t, kSubFrameSamples> d,
                       std::span<const std::int16_t, kHistory> history,
                       std::span<std::int16_t, kSubFrameSamples> e,
                       std::span<std::int16_t, kSubFrameSamples> prediction);

// Decoder state: the reconstructed residual history and the last valid lag.
struct LtpSynthesisState {
  std::int16_t history[kHistory] = {};
  std::int16_t lastLag = 40;
};

// out = excitation + gain * history[lag]; then the history moves on by the sub-frame.
void LtpSynthesis(LtpSynthesisState& state, LtpChoice choice, std::span<const std::int16_t, kSubFrameSamples> excitation,
                  std::span<std::int16_t, kSubFrameSamples> out);

// Moves `history` on by one sub-frame, appending `newest`.
void PushHistory(std::span<std::int16_t, kHistory> history, std::span<const std::int16_t, kSubFrameSamples> newest);

}  // namespace corvina::media::gsm
