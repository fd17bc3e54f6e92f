// IPv4 socket addresses as the program passes them around (SIP, RTP, STUN, UPnP), and the
// address-range tests that decide which of the phone's own addresses a message carries.
#pragma once

#include <cstdint>
#include <string>

namespace corvina::platform {

struct SocketAddress {
  std::uint32_t address = 0;  // IPv4, host byte order; 0 = unresolved
  std::uint16_t port = 0;

  bool Resolved() const { return address != 0; }
  friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

// 192.168/16, 10/8, 172.16/12, 169.254/16 and 127.0/16 count as private.
bool IsPrivateAddress(std::uint32_t address);

// 127/8.
bool IsLoopbackAddress(std::uint32_t address);

// "a.b.c.d:port"
std::string FormatSocketAddress(const SocketAddress& a);

}  // namespace corvina::platform
