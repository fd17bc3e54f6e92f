#include "platform/socket_address.h"

#include "platform/name_resolver.h"

namespace corvina::platform {

bool IsPrivateAddress(std::uint32_t address) {
  const std::uint32_t a = address >> 24;
  const std::uint32_t b = (address >> 16) & 0xFF;
  if (a == 192 && b == 168) return true;
  if (a == 10) return true;
  if (a == 172 && b >= 16 && b <= 31) return true;
  if (a == 169 && b == 254) return true;
  if (a == 127 && b == 0) return true;
  return false;
}

bool IsLoopbackAddress(std::uint32_t address) { return (address >> 24) == 127; }

std::string FormatSocketAddress(const SocketAddress& a) {
  return FormatIpv4(a.address) + ":" + std::to_string(a.port);
}

}  // namespace corvina::platform
