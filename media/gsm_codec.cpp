#include "media/gsm_codec.h"

#include "media/sample_scale.h"

namespace corvina::media {

std::int16_t GsmPreFilter::Process(std::int32_t sample) {
  const std::int32_t x = ClipToFullScale(sample);
  // DC removal in fixed point: the accumulator keeps 1024 times the output plus the remainder.
  const std::int64_t w = accumulator_ + 1024 * static_cast<std::int64_t>(x - previousInput_);
  const std::int64_t y = (w + 512) >> 10;
  accumulator_ = w - y;
  previousInput_ = x;
  const std::int64_t emphasised = (y - ((static_cast<std::int64_t>(previousDcFree_) * 880 + 512) >> 10) + 16) >> 5;
  previousDcFree_ = static_cast<std::int32_t>(Saturate(y, INT32_MIN, INT32_MAX));
  return static_cast<std::int16_t>(Saturate(emphasised, -32768, 32767));
}

std::int32_t GsmPostFilter::Process(std::int16_t sample) {
  const std::int64_t out = static_cast<std::int64_t>(sample) * 32 + ((static_cast<std::int64_t>(previous_) * 880 + 512) >> 10);
  previous_ = ClipToFullScale(out);
  return previous_;
}

void GsmEncoder::EncodeParams(std::span<const std::int32_t, kFrameSamples> samples, gsm::FrameParams& params) {
  std::int16_t s[kFrameSamples];
  for (int k = 0; k < kFrameSamples; ++k) s[k] = preFilter_.Process(samples[k]);
  gsm::AnalyseFrame(analysis_, s, params);
}

void GsmEncoder::EncodeFrame(std::span<const std::int32_t, kFrameSamples> samples,
                             std::span<std::uint8_t, kGsmFrameBytes> out) {
  gsm::FrameParams params;
  EncodeParams(samples, params);
  gsm::PackFrame(params, out);
}

void GsmDecoder::DecodeParams(const gsm::FrameParams& params, std::span<std::int32_t, kFrameSamples> samples) {
  std::int16_t r[kFrameSamples];
  gsm::SynthesiseFrame(synthesis_, params, r);
  for (int k = 0; k < kFrameSamples; ++k) samples[k] = postFilter_.Process(r[k]);
}

void GsmDecoder::DecodeFrame(std::span<const std::uint8_t, kGsmFrameBytes> frame,
                             std::span<std::int32_t, kFrameSamples> samples) {
  gsm::FrameParams params;
  gsm::UnpackFrame(frame, params);
  DecodeParams(params, samples);
}

std::size_t GsmDecoder::DecodePayload(std::span<const std::uint8_t> payload, std::span<std::int32_t> samples) {
  std::size_t written = 0;
  for (std::size_t offset = 0; offset + kGsmFrameBytes <= payload.size() && written + kFrameSamples <= samples.size();
       offset += kGsmFrameBytes) {
    DecodeFrame(payload.subspan(offset).first<kGsmFrameBytes>(), samples.subspan(written).first<kFrameSamples>());
    written += kFrameSamples;
  }
  return written;
}

}  // namespace corvina::media
