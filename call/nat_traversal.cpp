#include "call/nat_traversal.h"

#include "call/nat_texts.h"
#include "call/public_address_selection.h"
#include "call/socket_channel.h"
#include "call/stun_query.h"
#include "platform/host_port.h"
#include "platform/local_address.h"
#include "platform/udp_socket.h"

namespace corvina::call {

// The queries of one selection, bound to the caller's channel, stop event and sink.
class NatTraversal::Probes final : public NatProbes {
 public:
  Probes(NatTraversal& owner, DatagramChannel& channel, platform::Event* stop, const sip::OtherTrafficSink& other)
      : owner_(owner), channel_(channel), stop_(stop), other_(other) {}

  StunOutcome QueryStun(std::string_view serverName) override {
    const platform::HostPort server = platform::SplitHostPort(serverName, nat::kStunPort);
    auto address = owner_.resolver_.ResolveIpv4(server.host);
    if (!address) return {StunStatus::kFailed, {}, {}};
    const std::uint32_t transaction = owner_.transaction_.fetch_add(1) + 1;
    return RunStunQuery(channel_, owner_.clock_, {*address, server.port}, transaction, other_);
  }

  UpnpOutcome MapPort(std::uint16_t externalPort, std::uint16_t internalPort,
                      std::string_view internalClient) override {
    platform::UdpSocket ssdp;
    if (!ssdp.Bind({}).Ok()) return {UpnpStatus::kFailed, {}};
    SocketChannel channel(ssdp, stop_);
    UpnpGateway gateway(owner_.resolver_, owner_.upnp_);
    return gateway.MapPort(channel, stop_, externalPort, internalPort, internalClient);
  }

 private:
  NatTraversal& owner_;
  DatagramChannel& channel_;
  platform::Event* stop_;
  const sip::OtherTrafficSink& other_;
};

NatTraversal::NatTraversal(platform::Settings& settings, platform::LogSink& log, platform::NameResolver& resolver,
                           const platform::TickClock& clock, const UpnpOptions& upnp)
    : settings_(settings), log_(log), resolver_(resolver), clock_(clock), upnp_(upnp) {}

std::string NatTraversal::LocalAddress() { return platform::LocalAddress(server_.load()); }

sip::PublicAddressResult NatTraversal::PublicAddress(platform::UdpSocket& socket, platform::Event& stop,
                                                     const sip::PublicAddressRequest& request,
                                                     const sip::OtherTrafficSink& otherTraffic) {
  SocketChannel channel(socket, &stop);
  return PublicAddressOn(channel, &stop, request, otherTraffic);
}

sip::PublicAddressResult NatTraversal::PublicAddressOn(DatagramChannel& channel, platform::Event* stop,
                                                       const sip::PublicAddressRequest& request,
                                                       const sip::OtherTrafficSink& otherTraffic) {
  Probes probes(*this, channel, stop, otherTraffic);
  return SelectPublicAddress(settings_, log_, probes, secondServer_, request);
}

std::string_view NatTraversal::StunServerSettingName() const {
  return secondServer_.load() ? nat::kStunServer2 : nat::kStunServer1;
}

}  // namespace corvina::call
