// IPv4 socket addresses as the SIP layer passes them around, and the private-range test that
// decides which of the phone's own addresses a message carries.
#pragma once

#include <cstdint>
#include <string>

namespace corvina::sip {

struct SocketAddress {
  std::uint32_t address = 0;  // IPv4, host byte order; 0 = unresolved
  std::uint16_t port = 0;

  bool Resolved() const { return address != 0; }
  friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

// 192.168/16, 10/8, 172.16/12, 169.254/16 and 127.0/16 count as private.
bool IsPrivateAddress(std::uint32_t address);

// "a.b.c.d:port"
std::string FormatSocketAddress(const SocketAddress& a);

}  // namespace corvina::sip
