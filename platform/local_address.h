// The device's own IPv4 address. In order: the CORVINA_LOCAL_ADDRESS environment value when it
// holds a dotted address; the source address the kernel picks for the default route (found
// with a connected UDP socket, which sends nothing); the first interface address that is not
// loopback; the host-name lookup, where a later address that is neither private nor 0.x/127.x
// wins over the first one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvina::platform {

inline constexpr const char* kLocalAddressVariable = "CORVINA_LOCAL_ADDRESS";

// The address as dotted text ("127.0.0.1" when nothing at all is found).
std::string LocalAddress();

// The pick among the addresses of the host-name lookup (host byte order), in their order.
std::optional<std::uint32_t> PickHostAddress(std::span<const std::uint32_t> addresses);

}  // namespace corvina::platform
