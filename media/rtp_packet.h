// The fixed 12-byte RTP header (RFC 3550) as this phone writes it: version 2, no padding, no
// extension, no CSRC; byte 1 holds the marker bit and the payload type; sequence number,
// timestamp and SSRC follow in network byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace corvina::media {

inline constexpr std::size_t kRtpHeaderBytes = 12;

struct RtpHeader {
  bool marker = false;
  std::uint8_t payloadType = 0;  // 7 bits
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t ssrc = 0;
};

// Writes the header into the first 12 bytes of `out`; returns 12, or 0 when `out` is shorter.
inline std::size_t WriteRtpHeader(const RtpHeader& header, std::span<std::uint8_t> out) {
  if (out.size() < kRtpHeaderBytes) return 0;
  out[0] = 0x80;
  out[1] = static_cast<std::uint8_t>((header.marker ? 0x80 : 0x00) | (header.payloadType & 0x7F));
  out[2] = static_cast<std::uint8_t>(header.sequence >> 8);
  out[3] = static_cast<std::uint8_t>(header.sequence);
  for (int i = 0; i < 4; ++i) {
    out[4 + i] = static_cast<std::uint8_t>(header.timestamp >> (24 - 8 * i));
    out[8 + i] = static_cast<std::uint8_t>(header.ssrc >> (24 - 8 * i));
  }
  return kRtpHeaderBytes;
}

}  // namespace corvina::media
