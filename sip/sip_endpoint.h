// What the composers and dialog set-up need from the SIP engine: its addresses, identifier
// generators, name resolution, the activity log, the tick clock, and the socket together with
// the cache of sent answers. The engine implements it; tests use a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/log_sink.h"
#include "platform/name_resolver.h"
#include "sip/id_generator.h"
#include "sip/sip_message.h"
#include "platform/socket_address.h"

namespace corvina::sip {

// One consistent reading of the engine's own addresses.
struct OwnAddresses {
  std::string publicAddress;  // dotted text of what the outside sees
  std::uint16_t publicPort = 0;
  std::string privateAddress;  // dotted text of the device's own address
  std::uint16_t localPort = 0;  // the port the socket is bound to
};

class SipEndpoint {
 public:
  virtual ~SipEndpoint() = default;

  virtual OwnAddresses Addresses() const = 0;
  virtual IdGenerator& Ids() = 0;
  virtual platform::NameResolver& Resolver() = 0;
  virtual platform::LogSink& Log() = 0;
  // The 32-bit millisecond tick count.
  virtual std::uint32_t NowMs() const = 0;

  // Sends `text` as one datagram from the SIP socket.
  virtual void Send(const SocketAddress& to, std::string_view text) = 0;
  // Keeps `text`, sent to `to` in answer to (or acknowledgement of) `answered`, in the cache of
  // sent messages, so that a retransmitted `answered` gets the same text again.
  virtual void RecordSent(const SipMessage& answered, const SocketAddress& to, std::string_view text) = 0;
};

}  // namespace corvina::sip
