#include "call/stun_query.h"

#include <functional>

#include "call/stun_message.h"

namespace corvina::call {
namespace {

// Reads after each of `sends` sends of `request` for up to `waitMs`; `accept` turns a datagram
// into the answer (or not). Datagrams that are not the answer go to `otherTraffic`.
StunOutcome Exchange(DatagramChannel& channel, const platform::TickClock& clock, const platform::SocketAddress& server,
                     std::span<const std::uint8_t> request, int sends, int waitMs,
                     const std::function<std::optional<platform::SocketAddress>(std::span<const std::uint8_t>)>& accept,
                     const sip::OtherTrafficSink& otherTraffic) {
  std::string datagram;
  platform::SocketAddress from;
  for (int send = 0; send < sends; ++send) {
    channel.SendTo(server, request);
    const std::uint32_t deadline = clock.NowMs() + static_cast<std::uint32_t>(waitMs);
    for (;;) {
      const std::int32_t left = static_cast<std::int32_t>(deadline - clock.NowMs());
      if (left <= 0) break;
      const ChannelWait wait = channel.Receive(left, kStunMaxDatagram, &datagram, &from);
      if (wait == ChannelWait::kStopped) return {StunStatus::kStopped, {}, {}};
      if (wait != ChannelWait::kDatagram) break;
      const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(datagram.data()),
                                                datagram.size());
      if (auto mapped = accept(bytes)) return {StunStatus::kMapped, *mapped, from};
      if (otherTraffic) otherTraffic(datagram, from);
    }
  }
  return {StunStatus::kFailed, {}, {}};
}

}  // namespace

StunOutcome RunStunQuery(DatagramChannel& channel, const platform::TickClock& clock,
                         const platform::SocketAddress& server, std::uint32_t transaction,
                         const sip::OtherTrafficSink& otherTraffic) {
  const auto request = BuildStunBindingRequest(transaction);
  return Exchange(
      channel, clock, server, request, kStunSends, kStunWaitMs,
      [transaction](std::span<const std::uint8_t> bytes) { return ReadStunMappedAddress(bytes, transaction); },
      otherTraffic);
}

StunOutcome RunChangeIpQuery(DatagramChannel& channel, const platform::TickClock& clock,
                             const platform::SocketAddress& server, std::uint32_t transaction) {
  const auto request = BuildStunChangeIpRequest(transaction);
  return Exchange(
      channel, clock, server, request, kChangeIpSends, kChangeIpWaitMs,
      [transaction](std::span<const std::uint8_t> bytes) -> std::optional<platform::SocketAddress> {
        if (!IsStunAnswerTo(bytes, transaction)) return std::nullopt;
        return ReadStunMappedAddress(bytes, transaction).value_or(platform::SocketAddress{});
      },
      {});
}

}  // namespace corvina::call
