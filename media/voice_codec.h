// The voice codecs by name, behind one frame encoder and one payload decoder: 20 ms frames of
// 160 samples in, RTP payload bytes out, and back. The coder states live inside, owned by
// whoever owns the encoder or decoder; nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "media/g726.h"
#include "media/gsm_codec.h"
#include "media/sample_scale.h"

namespace corvina::media {

enum class CodecId { kPcmu, kPcma, kG726_32, kGsm };

// "pcmu", "pcma", "g726-32", "gsm" (as the transcoder names them).
std::optional<CodecId> CodecFromName(std::string_view name);
std::string_view CodecName(CodecId id);
// Payload bytes of one 160-sample frame: 160, 160, 80, 33.
std::size_t FrameBytes(CodecId id);

class FrameEncoder {
 public:
  explicit FrameEncoder(CodecId id) : id_(id) {}
  // Encodes one frame into out (at least FrameBytes(id) bytes); returns the bytes written.
  std::size_t Encode(std::span<const std::int32_t, kFrameSamples> samples, std::span<std::uint8_t> out);

 private:
  CodecId id_;
  G726Encoder g726_;
  GsmEncoder gsm_;
};

class PayloadDecoder {
 public:
  explicit PayloadDecoder(CodecId id) : id_(id) {}
  // Samples a payload of `bytes` bytes decodes into (GSM: whole 33-byte frames only).
  static std::size_t SamplesFor(CodecId id, std::size_t bytes);
  // Decodes as much of `payload` as fits in `samples`; returns the samples written.
  std::size_t Decode(std::span<const std::uint8_t> payload, std::span<std::int32_t> samples);

 private:
  CodecId id_;
  G726Decoder g726_;
  GsmDecoder gsm_;
};

}  // namespace corvina::media
