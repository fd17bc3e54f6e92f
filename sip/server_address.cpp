#include "sip/server_address.h"

#include "platform/text.h"

namespace corvina::sip {

SocketAddress ResolveServer(platform::NameResolver& resolver, std::string_view hostAndPort,
                            std::uint16_t defaultPort) {
  std::string_view host = hostAndPort;
  std::uint16_t port = defaultPort;
  std::size_t colon = hostAndPort.rfind(':');
  if (colon != std::string_view::npos) {
    host = hostAndPort.substr(0, colon);
    long given = platform::ParseLeadingLong(hostAndPort.substr(colon + 1));
    if (given > 0 && given <= 65535) port = static_cast<std::uint16_t>(given);
  }
  if (host.empty()) return {};
  std::optional<std::uint32_t> address = resolver.ResolveIpv4(host);
  if (!address || *address == 0) return {};
  return SocketAddress{*address, port};
}

}  // namespace corvina::sip
