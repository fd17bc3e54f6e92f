// Opening a session's RTP socket: an even local port from RTPPortBase (walking up by 2 past
// ports in use), voice type-of-service, and a public port that is even too. While STUN keeps
// mapping the socket to an odd public port, the socket moves up by 2 and asks again; after 20
// tries the NAT device is blamed in the log, after more than 100 the session goes without RTP.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/event.h"
#include "platform/log_sink.h"
#include "platform/settings.h"
#include "platform/udp_socket.h"
#include "sip/public_address_source.h"

namespace corvina::call {

inline constexpr int kOddPortWarningAttempt = 20;
inline constexpr int kOddPortMaxAttempts = 100;

struct RtpSocket {
  std::unique_ptr<platform::UdpSocket> socket;  // bound to every interface
  std::string localAddress;                     // the device's address, dotted
  std::uint16_t localPort = 0;
  std::string publicAddress;  // what the peer is told, dotted (or the static mapping's text)
  std::uint16_t publicPort = 0;
  bool behindNat = false;
};

// The first local RTP port: RTPPortBase (8000 when outside 2..65534) with its lowest bit clear.
std::uint16_t RtpPortBase(platform::Settings& settings);

// Nothing when no port could be bound, when the public port stayed odd for more than 100 tries,
// or when `stop` cut the public address query short.
std::optional<RtpSocket> OpenRtpSocket(sip::PublicAddressSource& nat, platform::Settings& settings,
                                       platform::LogSink& log, platform::Event& stop,
                                       const sip::OtherTrafficSink& otherTraffic);

}  // namespace corvina::call
