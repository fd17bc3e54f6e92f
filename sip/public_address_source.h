// What the engine asks of NAT traversal: the device's own address, and the public address and
// port of a local UDP socket. The call layer implements it; the engine core and its tests see
// only this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/socket_address.h"

namespace corvina::platform {
class Event;
class UdpSocket;
}  // namespace corvina::platform

namespace corvina::sip {

struct PublicAddressRequest {
  std::string localAddress;      // dotted text of the device's address
  std::uint16_t localPort = 0;   // the port the socket is bound to
  int portStep = 1;              // 1 for the SIP socket, 16 for RTP sockets
  std::uint16_t staticPortBase = 5070;  // STATICSIPPort or STATICRTPPortBase
  std::uint16_t portBase = 5070;        // Port or RTPPortBase
};

struct PublicAddressResult {
  std::string address;         // dotted text of what the outside sees
  std::uint16_t port = 0;
  bool behindNat = false;      // the local address is private: NAT bindings need keep-alives
  bool stopped = false;        // cut short by the caller's stop event
};

// Datagrams that arrive on the socket during a query and are not the awaited answer.
using OtherTrafficSink = std::function<void(std::string_view datagram, const platform::SocketAddress& from)>;

class PublicAddressSource {
 public:
  virtual ~PublicAddressSource() = default;
  // The device's IPv4 address as dotted text: the one the phone's server sees, so the SIP
  // messages and the SDP name the address its answers come back to.
  virtual std::string LocalAddress() = 0;
  // The phone's server (host byte order, 0: none), which LocalAddress answers toward. The engine
  // sets it; any thread.
  virtual void SetServerAddress(std::uint32_t /*address*/) {}
  // Finds the public address of `socket` (sends and receives on it: the caller must not read
  // it meanwhile). `stop` cuts the query short; datagrams that are not the answer go to
  // `otherTraffic` so that nothing arriving for the socket's owner is lost.
  virtual PublicAddressResult PublicAddress(platform::UdpSocket& socket, platform::Event& stop,
                                            const PublicAddressRequest& request,
                                            const OtherTrafficSink& otherTraffic) = 0;
  // The STUN server in use now (the setting name STUNServer1 or STUNServer2 as chosen by the
  // last query), read by the engine's keep-alives.
  virtual std::string_view StunServerSettingName() const = 0;
};

}  // namespace corvina::sip
