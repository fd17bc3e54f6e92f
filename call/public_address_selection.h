// Chooses the public address and port of a local socket: the local address itself when it is
// not private, else a static mapping, a STUN query (with the other server as fallback) or a
// gateway port mapping, in that order. The queries sit behind NatProbes so the choice and its
// log lines can be checked with fakes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "call/stun_query.h"
#include "platform/log_sink.h"
#include "platform/settings.h"
#include "sip/public_address_source.h"

namespace corvina::call {

enum class UpnpStatus { kMapped, kFailed, kRefused, kStopped };

struct UpnpOutcome {
  UpnpStatus status = UpnpStatus::kFailed;
  std::string externalAddress;  // valid when kMapped
};

class NatProbes {
 public:
  virtual ~NatProbes() = default;
  // Resolves `serverName` (port 3478) and queries it on the caller's socket.
  virtual StunOutcome QueryStun(std::string_view serverName) = 0;
  // Asks the gateway to forward UDP `externalPort` to `internalClient`:`internalPort`.
  virtual UpnpOutcome MapPort(std::uint16_t externalPort, std::uint16_t internalPort,
                              std::string_view internalClient) = 0;
};

// The external port asked of the gateway: local port + last byte of the local address times
// the port step, kept to 16 bits.
std::uint16_t UpnpExternalPort(std::uint32_t localAddress, std::uint16_t localPort, int portStep);

// The static port rule: local port - port base + static port base, kept to 16 bits.
std::uint16_t StaticPublicPort(std::uint16_t localPort, std::uint16_t portBase, std::uint16_t staticPortBase);

// `useSecondServer` is the program-wide choice of STUN server, kept between selections.
sip::PublicAddressResult SelectPublicAddress(platform::Settings& settings, platform::LogSink& log, NatProbes& probes,
                                             std::atomic<bool>& useSecondServer,
                                             const sip::PublicAddressRequest& request);

}  // namespace corvina::call
