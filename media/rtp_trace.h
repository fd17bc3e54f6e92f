// The SIP trace log's lines for RTP packets, one per packet sent or received while audio
// tracing is on. The trace log itself belongs to the SIP engine; this only builds the line.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "media/rtp_packet.h"
#include "platform/clock.h"
#include "platform/socket_address.h"

namespace corvina::media {

inline constexpr const char* kRtpTraceSentFormat = "%04dms Rtp >>> %s %s %d seq=%5d ts=%10u ssrc=%10u %5d bytes\r\n";
inline constexpr const char* kRtpTraceReceivedFormat =
    "%04dms Rtp <<< %s %s %d seq=%5d ts=%10u ssrc=%10u %5d bytes %s\r\n";
inline constexpr const char* kRtpTraceMarker = "Mark";
inline constexpr const char* kRtpTraceNoMarker = "    ";
inline constexpr const char* kRtpTraceVideo = "(video)";
// Tracing is on while this value of the "Settings" section is non-zero.
inline constexpr std::string_view kSettingSipTraceAudioOn = "SipTraceAudioOn";

enum class RtpTraceDirection { kSent, kReceived };

// `msClock` is the media ms clock (printed modulo 10000), `peer` the destination or source,
// `datagramLength` the whole datagram (the line shows it less the 12-byte header).
std::string FormatRtpTrace(RtpTraceDirection direction, std::int64_t msClock, const platform::SocketAddress& peer,
                           const RtpHeader& header, std::size_t datagramLength);

// Where trace lines go: the SIP trace log, which belongs to the SIP engine. Called from the
// receive thread and from every sending thread, so it must be safe from any thread.
using RtpTraceWriter = std::function<void(std::string_view line)>;

// One session's RTP tracing: on or off (any thread switches it), and the line for each packet.
class RtpTracer {
 public:
  RtpTracer(const platform::MediaClock& clock, RtpTraceWriter writer) : clock_(clock), writer_(std::move(writer)) {}

  void SetOn(bool on) { on_.store(on && writer_ != nullptr); }
  bool On() const { return on_.load(); }
  // A received packet, its header already read.
  void Received(const platform::SocketAddress& from, const RtpHeader& header, std::size_t datagramLength);
  // A datagram sent (nothing when it is no RTP packet).
  void Sent(const platform::SocketAddress& to, std::span<const std::uint8_t> datagram);

 private:
  const platform::MediaClock& clock_;
  const RtpTraceWriter writer_;
  std::atomic<bool> on_{false};
};

}  // namespace corvina::media
