#include "platform/host_port.h"

namespace corvina::platform {

HostPort SplitHostPort(std::string_view text, std::uint16_t defaultPort) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return {text, defaultPort};
  const std::string_view digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return {text, defaultPort};
  unsigned port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return {text, defaultPort};
    port = port * 10 + static_cast<unsigned>(c - '0');
  }
  if (port == 0 || port > 65535) return {text, defaultPort};
  return {text.substr(0, colon), static_cast<std::uint16_t>(port)};
}

}  // namespace corvina::platform
