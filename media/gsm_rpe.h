// GSM 06.10 regular-pulse excitation of one 40-sample sub-frame: the weighting filter, the
// choice of one of four decimation grids, APCM coding of its 13 pulses under a block maximum,
// and the inverse that rebuilds the excitation (used by encoder and decoder alike).
#pragma once

#include <cstdint>
#include <span>

#include "media/gsm_frame.h"
#include "media/gsm_long_term.h"

namespace corvina::media::gsm {

// Codes the LTP residual `e` into grid, block maximum and pulses of `params`, and writes the
// excitation the decoder will rebuild from them into `excitation`.
void EncodeRpe(std::span<const std::int16_t, kSubFrameSamples> e, SubFrameParams& params,
               std::span<std::int16_t, kSubFrameSamples> excitation);

// The excitation of a sub-frame from its coded grid, block maximum and pulses.
void DecodeRpe(const SubFrameParams& params, std::span<std::int16_t, kSubFrameSamples> excitation);

}  // namespace corvina::media::gsm
