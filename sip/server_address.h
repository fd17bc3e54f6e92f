// Server resolution as the engine does it: "host" or "host:port"; a dotted address is taken as
// it is, a name is looked up and its first IPv4 address used (no SRV lookup).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/name_resolver.h"
#include "sip/sip_message.h"

namespace corvina::sip {

// Address 0 when the host does not resolve. A port after a colon overrides `defaultPort`.
SocketAddress ResolveServer(platform::NameResolver& resolver, std::string_view hostAndPort,
                            std::uint16_t defaultPort);

}  // namespace corvina::sip
