// The seam between the NAT queries and a UDP socket: send a datagram, wait a bounded time for
// one, and be cut short by the owner's stop event. The real channel wraps a platform socket;
// tests script one with a fake clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/socket_address.h"

namespace corvina::call {

enum class ChannelWait { kDatagram, kTimedOut, kStopped, kFailed };

class DatagramChannel {
 public:
  virtual ~DatagramChannel() = default;
  virtual bool SendTo(const platform::SocketAddress& to, std::span<const std::uint8_t> bytes) = 0;
  // Waits up to `timeoutMs` for one datagram of at most `maxBytes` (longer ones are cut).
  virtual ChannelWait Receive(int timeoutMs, std::size_t maxBytes, std::string* datagram,
                              platform::SocketAddress* from) = 0;
};

}  // namespace corvina::call
