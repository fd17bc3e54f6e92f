// Host name resolution to IPv4 addresses. A dotted address is taken as it is; a name is looked
// up and its first IPv4 address is used. No SRV lookups.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvina::platform {

// "a.b.c.d" with four decimal parts of 0..255 and nothing else; host byte order.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

// Host byte order to "a.b.c.d".
std::string FormatIpv4(std::uint32_t address);

class NameResolver {
 public:
  virtual ~NameResolver() = default;
  // The IPv4 address of `host` in host byte order, or nothing when it does not resolve.
  virtual std::optional<std::uint32_t> ResolveIpv4(std::string_view host) = 0;
};

// Dotted addresses directly, names through the system resolver (getaddrinfo).
class SystemNameResolver final : public NameResolver {
 public:
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override;
};

}  // namespace corvina::platform
