// Where a media session gets its RTP socket: an even local port, the voice type-of-service and
// the public address and port the peer is told. The call layer implements it (it knows the
// settings and NAT traversal); media only asks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/event.h"
#include "platform/udp_socket.h"

namespace corvina::media {

struct RtpSocketAddresses {
  std::string localAddress;  // the device's address, dotted
  std::uint16_t localPort = 0;
  std::string publicAddress;  // what the peer is told
  std::uint16_t publicPort = 0;
  bool behindNat = false;
};

struct OpenedRtpSocket {
  std::unique_ptr<platform::UdpSocket> socket;  // bound, type-of-service set
  RtpSocketAddresses addresses;
};

class RtpSocketOpener {
 public:
  virtual ~RtpSocketOpener() = default;
  // Nothing when no socket could be had (or `stop` cut the public address query short).
  virtual std::optional<OpenedRtpSocket> Open(platform::Event& stop) = 0;
};

}  // namespace corvina::media
