// The Internet Gateway Device client: an SSDP search on a socket of its own, the device
// description, and for the IP and then the PPP connection service the four SOAP actions that
// end in a UDP port mapping. The engine's SIP socket is never used, so SIP keeps flowing while
// the gateway is asked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "call/datagram_channel.h"
#include "call/nat_texts.h"
#include "call/public_address_selection.h"
#include "call/upnp_readers.h"
#include "platform/name_resolver.h"

namespace corvina::platform {
class Event;
}

namespace corvina::call {

struct UpnpOptions {
  // Where the search goes: the SSDP multicast group, or a unicast responder in tests.
  platform::SocketAddress ssdpTarget{nat::kSsdpGroup, nat::kSsdpPort};
  int searchWaitMs = 1000;
  int searches = 10;
  int httpTimeoutMs = 3000;
};

class UpnpGateway {
 public:
  UpnpGateway(platform::NameResolver& resolver, const UpnpOptions& options) : resolver_(resolver), options_(options) {}

  // Searches on `ssdp` and asks the first gateway that accepts to forward UDP `externalPort` to
  // `internalClient`:`internalPort`.
  UpnpOutcome MapPort(DatagramChannel& ssdp, platform::Event* stop, std::uint16_t externalPort,
                      std::uint16_t internalPort, std::string_view internalClient);

 private:
  struct Mapping {
    std::uint16_t externalPort;
    std::uint16_t internalPort;
    std::string_view internalClient;
  };
  enum class Step { kMapped, kFailed, kRefused, kStopped };

  // One SSDP reply: fetch its description and try both services.
  Step TryGateway(std::string_view ssdpReply, platform::Event* stop, const Mapping& mapping, std::string* external);
  Step TryService(const HttpUrl& control, std::string_view service, platform::Event* stop, const Mapping& mapping,
                  std::string* external);
  // Sends one request to `url`'s host; nothing on failure, `stopped` set when cut short.
  std::optional<HttpReply> Fetch(const HttpUrl& url, std::string_view request, std::size_t maxBytes,
                                 platform::Event* stop, bool* stopped);

  platform::NameResolver& resolver_;
  UpnpOptions options_;
};

}  // namespace corvina::call
