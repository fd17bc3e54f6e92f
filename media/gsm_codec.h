// GSM 06.10 full rate at the internal sample scale: the encoder front end (DC removal with the
// remainder carried, pre-emphasis by 880/1024 and scaling down by 32), the decoder back end
// (de-emphasis and scaling back up), and the 33-byte RTP frames. The caller owns the state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "media/gsm_core.h"
#include "media/gsm_frame.h"

namespace corvina::media {

inline constexpr std::size_t kGsmFrameBytes = gsm::kFrameBytes;

// y[k] = (1023/1024) y[k-1] + x[k] - x[k-1], then s[k] = (y[k] - 0.859 y[k-1]) / 32 as 16 bits.
class GsmPreFilter {
 public:
  std::int16_t Process(std::int32_t sample);

 private:
  std::int64_t accumulator_ = 0;
  std::int32_t previousInput_ = 0;
  std::int32_t previousDcFree_ = 0;
};

// out[k] = 32 r[k] + 0.859 out[k-1], clipped to full scale.
class GsmPostFilter {
 public:
  std::int32_t Process(std::int16_t sample);

 private:
  std::int32_t previous_ = 0;
};

class GsmEncoder {
 public:
  void Reset() { *this = GsmEncoder{}; }
  void EncodeParams(std::span<const std::int32_t, kFrameSamples> samples, gsm::FrameParams& params);
  void EncodeFrame(std::span<const std::int32_t, kFrameSamples> samples, std::span<std::uint8_t, kGsmFrameBytes> out);

 private:
  GsmPreFilter preFilter_;
  gsm::AnalysisState analysis_;
};

class GsmDecoder {
 public:
  void Reset() { *this = GsmDecoder{}; }
  void DecodeParams(const gsm::FrameParams& params, std::span<std::int32_t, kFrameSamples> samples);
  void DecodeFrame(std::span<const std::uint8_t, kGsmFrameBytes> frame, std::span<std::int32_t, kFrameSamples> samples);
  // Decodes a payload in whole 33-byte frames (a shorter remainder is ignored), as many as fit
  // in `samples`; returns the samples written.
  std::size_t DecodePayload(std::span<const std::uint8_t> payload, std::span<std::int32_t> samples);

 private:
  gsm::SynthesisState synthesis_;
  GsmPostFilter postFilter_;
};

}  // namespace corvina::media
