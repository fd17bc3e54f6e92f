// Any bytes as RTP payloads of every voice codec, fed through one decoder per codec so the
// coder state carries from packet to packet as in a call: every decoded sample stays within
// full scale, and the decoder never writes more samples than it reports.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/voice_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina::media;
  // The first byte chooses how the rest is cut into packets.
  const std::size_t packet = size == 0 ? 1 : 1 + data[0] % 200;
  std::span<const std::uint8_t> rest = size == 0 ? std::span<const std::uint8_t>() : std::span(data + 1, size - 1);
  for (CodecId id : {CodecId::kPcmu, CodecId::kPcma, CodecId::kG726_32, CodecId::kGsm}) {
    PayloadDecoder decoder(id);
    for (std::size_t at = 0; at < rest.size(); at += packet) {
      std::span<const std::uint8_t> payload = rest.subspan(at, std::min(packet, rest.size() - at));
      constexpr std::int32_t kGuard = 0x7EADBEEF;
      std::array<std::int32_t, 512> samples;
      samples.fill(kGuard);
      const std::size_t room = samples.size() - 8;
      std::size_t n = decoder.Decode(payload, std::span(samples.data(), room));
      if (n > room || n > PayloadDecoder::SamplesFor(id, payload.size())) std::abort();
      for (std::size_t i = 0; i < n; ++i) {
        if (samples[i] > kFullScale || samples[i] < -kFullScale) std::abort();
      }
      for (std::size_t i = room; i < samples.size(); ++i) {
        if (samples[i] != kGuard) std::abort();
      }
    }
  }
  return 0;
}
