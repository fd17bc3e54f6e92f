// The program's NAT traversal: the device's own address and the public address and port of a
// local UDP socket, found by the methods of SelectPublicAddress. STUN runs on the caller's
// socket (handing other datagrams back to the caller); UPnP runs on sockets of its own.
//
// Threads: any thread may call it; each call runs on its caller's thread with its caller's
// socket and stop event. The STUN server choice and the transaction counter are program-wide
// and atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "call/datagram_channel.h"
#include "call/upnp_gateway.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"
#include "sip/public_address_source.h"

namespace corvina::call {

class NatTraversal final : public sip::PublicAddressSource {
 public:
  // `upnp` chooses where the SSDP search goes (the multicast group unless a test says else).
  NatTraversal(platform::Settings& settings, platform::LogSink& log, platform::NameResolver& resolver,
               const platform::TickClock& clock, const UpnpOptions& upnp = {});

  std::string LocalAddress() override;
  void SetServerAddress(std::uint32_t address) override { server_ = address; }
  sip::PublicAddressResult PublicAddress(platform::UdpSocket& socket, platform::Event& stop,
                                         const sip::PublicAddressRequest& request,
                                         const sip::OtherTrafficSink& otherTraffic) override;
  std::string_view StunServerSettingName() const override;

  // The same selection with STUN on any datagram channel.
  sip::PublicAddressResult PublicAddressOn(DatagramChannel& channel, platform::Event* stop,
                                           const sip::PublicAddressRequest& request,
                                           const sip::OtherTrafficSink& otherTraffic);

 private:
  class Probes;

  platform::Settings& settings_;
  platform::LogSink& log_;
  platform::NameResolver& resolver_;
  const platform::TickClock& clock_;
  const UpnpOptions upnp_;
  std::atomic<bool> secondServer_{false};        // any thread
  std::atomic<std::uint32_t> server_{0};         // any thread; the phone's server, 0: none
  std::atomic<std::uint32_t> transaction_{0};    // any thread; one step per query
};

}  // namespace corvina::call
