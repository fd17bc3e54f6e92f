// The datagram channel over a real UDP socket and the owner's stop event. A stop is left set
// for the owner to see, also when the event resets itself on a wait.
#pragma once

#include "call/datagram_channel.h"
#include "platform/udp_socket.h"

namespace corvina::call {

class SocketChannel final : public DatagramChannel {
 public:
  SocketChannel(platform::UdpSocket& socket, platform::Event* stop) : socket_(socket), stop_(stop) {}

  bool SendTo(const platform::SocketAddress& to, std::span<const std::uint8_t> bytes) override;
  ChannelWait Receive(int timeoutMs, std::size_t maxBytes, std::string* datagram,
                      platform::SocketAddress* from) override;

 private:
  platform::UdpSocket& socket_;  // owned by the caller; read only here while a query runs
  platform::Event* stop_;
};

}  // namespace corvina::call
