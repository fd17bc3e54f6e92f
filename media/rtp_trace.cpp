#include "media/rtp_trace.h"

#include <algorithm>
#include <cstdio>

namespace corvina::media {

namespace {

// Payload types 25 to 34 are the static video types.
bool IsVideoType(std::uint8_t payloadType) { return payloadType >= 25 && payloadType <= 34; }

}  // namespace

std::string FormatRtpTrace(RtpTraceDirection direction, std::int64_t msClock, const platform::SocketAddress& peer,
                           const RtpHeader& header, std::size_t datagramLength) {
  const int ms = static_cast<int>(((msClock % 10000) + 10000) % 10000);
  const std::string address = platform::FormatSocketAddress(peer);
  const char* marker = header.marker ? kRtpTraceMarker : kRtpTraceNoMarker;
  const int payloadBytes = static_cast<int>(datagramLength) - static_cast<int>(kRtpHeaderBytes);
  char line[192];
  int n = 0;
  if (direction == RtpTraceDirection::kSent) {
    n = std::snprintf(line, sizeof line, kRtpTraceSentFormat, ms, address.c_str(), marker, header.payloadType,
                      header.sequence, header.timestamp, header.ssrc, payloadBytes);
  } else {
    n = std::snprintf(line, sizeof line, kRtpTraceReceivedFormat, ms, address.c_str(), marker, header.payloadType,
                      header.sequence, header.timestamp, header.ssrc, payloadBytes,
                      IsVideoType(header.payloadType) ? kRtpTraceVideo : "");
  }
  return std::string(line, n > 0 ? std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1) : 0);
}

void RtpTracer::Received(const platform::SocketAddress& from, const RtpHeader& header, std::size_t datagramLength) {
  if (!On()) return;
  writer_(FormatRtpTrace(RtpTraceDirection::kReceived, clock_.NowMs(), from, header, datagramLength));
}

void RtpTracer::Sent(const platform::SocketAddress& to, std::span<const std::uint8_t> datagram) {
  if (!On()) return;
  const std::optional<RtpHeader> header = ParseRtpHeader(datagram);
  if (!header) return;
  writer_(FormatRtpTrace(RtpTraceDirection::kSent, clock_.NowMs(), to, *header, datagram.size()));
}

}  // namespace corvina::media
