#include "media/rtp_packet.h"

namespace corvina::media {

namespace {

std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

std::uint32_t Read32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void Write16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

void Write32(std::uint8_t* p, std::uint32_t v) {
  Write16(p, static_cast<std::uint16_t>(v >> 16));
  Write16(p + 2, static_cast<std::uint16_t>(v));
}

constexpr std::uint8_t kPaddingBit = 0x20;
constexpr std::uint8_t kExtensionBit = 0x10;
constexpr std::uint8_t kCsrcCountMask = 0x0F;
constexpr std::size_t kExtensionHeaderBytes = 4;

}  // namespace

std::optional<RtpHeader> ParseRtpHeader(std::span<const std::uint8_t> datagram) {
  if (datagram.size() < kRtpHeaderBytes || (datagram[0] >> 6) != kRtpVersion) return std::nullopt;
  const std::uint8_t* p = datagram.data();
  RtpHeader h;
  h.marker = (p[1] & kRtpMarkerBit) != 0;
  h.payloadType = p[1] & kRtpPayloadTypeMask;
  h.sequence = Read16(p + 2);
  h.timestamp = Read32(p + 4);
  h.ssrc = Read32(p + 8);
  return h;
}

std::optional<RtpPacketView> ParseRtpPacket(std::span<const std::uint8_t> datagram) {
  const std::optional<RtpHeader> header = ParseRtpHeader(datagram);
  if (!header) return std::nullopt;
  RtpPacketView view{*header, {}};
  const std::size_t size = datagram.size();
  std::size_t begin = kRtpHeaderBytes + 4 * static_cast<std::size_t>(datagram[0] & kCsrcCountMask);
  if (begin > size) return view;
  if (datagram[0] & kExtensionBit) {
    if (size - begin < kExtensionHeaderBytes) return view;
    const std::size_t words = Read16(datagram.data() + begin + 2);
    begin += kExtensionHeaderBytes;
    if (size - begin < 4 * words) return view;
    begin += 4 * words;
  }
  std::size_t end = size;
  if (datagram[0] & kPaddingBit) {
    // The last byte counts the padding, itself included; it must leave the payload in place.
    if (end == begin) return view;
    const std::size_t padding = datagram[end - 1];
    if (padding == 0 || padding > end - begin) return view;
    end -= padding;
  }
  view.payload = datagram.subspan(begin, end - begin);
  return view;
}

std::size_t WriteRtpHeader(const RtpHeader& header, std::span<std::uint8_t> out) {
  if (out.size() < kRtpHeaderBytes) return 0;
  std::uint8_t* p = out.data();
  p[0] = kRtpFirstByte;
  p[1] = static_cast<std::uint8_t>((header.payloadType & kRtpPayloadTypeMask) | (header.marker ? kRtpMarkerBit : 0));
  Write16(p + 2, header.sequence);
  Write32(p + 4, header.timestamp);
  Write32(p + 8, header.ssrc);
  return kRtpHeaderBytes;
}

}  // namespace corvina::media
