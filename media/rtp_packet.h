// RTP packets on the wire: the fixed 12-byte header both directions use, the reader that
// finds the payload of a received datagram, and the writer of the header we send.
//
// The reader checks every offset before it reads: CSRC list, extension header (before its
// length field is read) and padding must all lie inside the datagram; a datagram that claims
// more than it holds keeps its header (it still counts for ordering) but has no payload, so
// nothing of it plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "media/payload_types.h"

namespace corvina::media {

inline constexpr std::size_t kRtpHeaderBytes = 12;
// Largest datagram we keep; a longer one is dropped whole (it arrived cut short).
inline constexpr std::size_t kRtpMaxDatagram = 4112;
inline constexpr std::uint8_t kRtpVersion = 2;
// Byte 0 of every packet we send: version 2, no padding, no extension, no CSRC.
inline constexpr std::uint8_t kRtpFirstByte = 0x80;
inline constexpr std::uint8_t kRtpMarkerBit = 0x80;
inline constexpr std::uint8_t kRtpPayloadTypeMask = 0x7F;

struct RtpHeader {
  bool marker = false;
  std::uint8_t payloadType = 0;  // 7 bits
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t ssrc = 0;
};

struct RtpPacketView {
  RtpHeader header;
  // The media between CSRC list / extension and padding; empty when the datagram is malformed
  // past its fixed header.
  std::span<const std::uint8_t> payload;
};

// The fixed header of `datagram`; nothing when it is shorter than 12 bytes or not version 2.
std::optional<RtpHeader> ParseRtpHeader(std::span<const std::uint8_t> datagram);

// Header and payload of `datagram`; nothing when ParseRtpHeader gives nothing.
std::optional<RtpPacketView> ParseRtpPacket(std::span<const std::uint8_t> datagram);

// Writes the 12-byte header (byte 0 = 0x80) into `out`; returns 12, or 0 when `out` is shorter.
std::size_t WriteRtpHeader(const RtpHeader& header, std::span<std::uint8_t> out);

}  // namespace corvina::media
