#include "call/stun_query.h"

#include "call/stun_message.h"

namespace corvina::call {

StunOutcome RunStunQuery(DatagramChannel& channel, const platform::TickClock& clock,
                         const platform::SocketAddress& server, std::uint32_t transaction,
                         const sip::OtherTrafficSink& otherTraffic) {
  const auto request = BuildStunBindingRequest(transaction);
  std::string datagram;
  platform::SocketAddress from;
  for (int send = 0; send < kStunSends; ++send) {
    channel.SendTo(server, request);
    const std::uint32_t deadline = clock.NowMs() + kStunWaitMs;
    for (;;) {
      const std::int32_t left = static_cast<std::int32_t>(deadline - clock.NowMs());
      if (left <= 0) break;
      const ChannelWait wait = channel.Receive(left, kStunMaxDatagram, &datagram, &from);
      if (wait == ChannelWait::kStopped) return {StunStatus::kStopped, {}};
      if (wait != ChannelWait::kDatagram) break;
      const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(datagram.data()),
                                                datagram.size());
      if (auto mapped = ReadStunMappedAddress(bytes, transaction)) return {StunStatus::kMapped, *mapped};
      if (otherTraffic) otherTraffic(datagram, from);
    }
  }
  return {StunStatus::kFailed, {}};
}

}  // namespace corvina::call
