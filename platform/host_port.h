// "host" or "host:port" as users type server names into settings.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvina::platform {

struct HostPort {
  std::string_view host;
  std::uint16_t port = 0;
};

// Splits at the last ':' when a decimal port of 1..65535 follows it; otherwise the whole text
// is the host and `defaultPort` the port.
HostPort SplitHostPort(std::string_view text, std::uint16_t defaultPort);

}  // namespace corvina::platform
