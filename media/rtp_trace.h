// The SIP trace log's lines for RTP packets, one per packet sent or received while audio
// tracing is on. The trace log itself belongs to the SIP engine; this only builds the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "media/rtp_packet.h"
#include "platform/socket_address.h"

namespace corvina::media {

inline constexpr const char* kRtpTraceSentFormat = "%04dms Rtp >>> %s %s %d seq=%5d ts=%10u ssrc=%10u %5d bytes\r\n";
inline constexpr const char* kRtpTraceReceivedFormat =
    "%04dms Rtp <<< %s %s %d seq=%5d ts=%10u ssrc=%10u %5d bytes %s\r\n";
inline constexpr const char* kRtpTraceMarker = "Mark";
inline constexpr const char* kRtpTraceNoMarker = "    ";
inline constexpr const char* kRtpTraceVideo = "(video)";

enum class RtpTraceDirection { kSent, kReceived };

// `msClock` is the media ms clock (printed modulo 10000), `peer` the destination or source,
// `datagramLength` the whole datagram (the line shows it less the 12-byte header).
std::string FormatRtpTrace(RtpTraceDirection direction, std::int64_t msClock, const platform::SocketAddress& peer,
                           const RtpHeader& header, std::size_t datagramLength);

}  // namespace corvina::media
