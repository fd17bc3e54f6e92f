// One STUN binding query on the caller's socket: the request goes out up to three times, each
// followed by up to 230 ms of reading; datagrams that are not the awaited answer are handed to
// the caller's sink, so traffic for the socket's owner is never lost.
#pragma once

#include <cstdint>

#include "call/datagram_channel.h"
#include "platform/clock.h"
#include "sip/public_address_source.h"

namespace corvina::call {

inline constexpr int kStunSends = 3;
inline constexpr int kStunWaitMs = 230;
// The symmetric-NAT test's change-IP request: up to four sends, 450 ms of reading after each.
inline constexpr int kChangeIpSends = 4;
inline constexpr int kChangeIpWaitMs = 450;

enum class StunStatus { kMapped, kFailed, kStopped };

struct StunOutcome {
  StunStatus status = StunStatus::kFailed;
  platform::SocketAddress mapped;  // valid when kMapped
  platform::SocketAddress from;    // where the answer came from; valid when kMapped
};

StunOutcome RunStunQuery(DatagramChannel& channel, const platform::TickClock& clock,
                         const platform::SocketAddress& server, std::uint32_t transaction,
                         const sip::OtherTrafficSink& otherTraffic);

// Sends the change-IP Binding Request to `server` and reads for any Binding Response to
// `transaction` (a MAPPED-ADDRESS is not needed); kMapped with `from` set to the answer's source.
StunOutcome RunChangeIpQuery(DatagramChannel& channel, const platform::TickClock& clock,
                             const platform::SocketAddress& server, std::uint32_t transaction);

}  // namespace corvina::call
