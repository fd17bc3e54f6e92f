// The device's own IPv4 address. In order: the CORVINA_LOCAL_ADDRESS environment value when it
// holds a dotted address; the source address the kernel picks toward the phone's server, so a
// server on loopback or behind a VPN sees the address its answers come back to; without a
// server, the source address of the default route (both found with a connected UDP socket,
// which sends nothing); the first interface address that is not loopback; the host-name
// lookup, where a later address that is neither private nor 0.x/127.x wins over the first one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvina::platform {

inline constexpr const char* kLocalAddressVariable = "CORVINA_LOCAL_ADDRESS";

// The address as dotted text ("127.0.0.1" when nothing at all is found). `server` is the
// server's address in host byte order, 0 when there is none.
std::string LocalAddress(std::uint32_t server = 0);

// The source address the kernel picks toward `destination` (host byte order), if any.
std::optional<std::uint32_t> SourceAddressToward(std::uint32_t destination);

// The pick among the addresses of the host-name lookup (host byte order), in their order.
std::optional<std::uint32_t> PickHostAddress(std::span<const std::uint32_t> addresses);

// This machine's host name ("localhost" when the system has none), as mail greetings name it.
std::string MachineName();

}  // namespace corvina::platform
