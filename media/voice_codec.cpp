#include "media/voice_codec.h"

#include "media/g711.h"

namespace corvina::media {

std::optional<CodecId> CodecFromName(std::string_view name) {
  for (CodecId id : {CodecId::kPcmu, CodecId::kPcma, CodecId::kG726_32, CodecId::kGsm}) {
    if (CodecName(id) == name) return id;
  }
  return std::nullopt;
}

std::string_view CodecName(CodecId id) {
  switch (id) {
    case CodecId::kPcmu: return "pcmu";
    case CodecId::kPcma: return "pcma";
    case CodecId::kG726_32: return "g726-32";
    case CodecId::kGsm: return "gsm";
  }
  return "";
}

std::size_t FrameBytes(CodecId id) {
  switch (id) {
    case CodecId::kPcmu:
    case CodecId::kPcma: return kFrameSamples;
    case CodecId::kG726_32: return kFrameSamples / 2;
    case CodecId::kGsm: return kGsmFrameBytes;
  }
  return 0;
}

std::size_t FrameEncoder::Encode(std::span<const std::int32_t, kFrameSamples> samples, std::span<std::uint8_t> out) {
  if (out.size() < FrameBytes(id_)) return 0;
  switch (id_) {
    case CodecId::kPcmu: return MulawEncode(samples, out);
    case CodecId::kPcma: return AlawEncode(samples, out);
    case CodecId::kG726_32: return g726_.Encode(samples, out);
    case CodecId::kGsm: gsm_.EncodeFrame(samples, out.first<kGsmFrameBytes>()); return kGsmFrameBytes;
  }
  return 0;
}

std::size_t PayloadDecoder::SamplesFor(CodecId id, std::size_t bytes) {
  switch (id) {
    case CodecId::kPcmu:
    case CodecId::kPcma: return bytes;
    case CodecId::kG726_32: return 2 * bytes;
    case CodecId::kGsm: return bytes / kGsmFrameBytes * kFrameSamples;
  }
  return 0;
}

std::size_t PayloadDecoder::Decode(std::span<const std::uint8_t> payload, std::span<std::int32_t> samples) {
  switch (id_) {
    case CodecId::kPcmu: return MulawDecode(payload, samples);
    case CodecId::kPcma: return AlawDecode(payload, samples);
    case CodecId::kG726_32: return g726_.Decode(payload, samples);
    case CodecId::kGsm: return gsm_.DecodePayload(payload, samples);
  }
  return 0;
}

}  // namespace corvina::media
