#include "call/socket_channel.h"

namespace corvina::call {

bool SocketChannel::SendTo(const platform::SocketAddress& to, std::span<const std::uint8_t> bytes) {
  return socket_.SendTo(to, bytes) == platform::SocketError::kNone;
}

ChannelWait SocketChannel::Receive(int timeoutMs, std::size_t maxBytes, std::string* datagram,
                                   platform::SocketAddress* from) {
  datagram->resize(maxBytes);
  const std::span<std::uint8_t> buffer(reinterpret_cast<std::uint8_t*>(datagram->data()), datagram->size());
  const platform::ReceiveResult result = socket_.ReceiveFrom(buffer, timeoutMs, stop_);
  switch (result.status) {
    case platform::ReceiveStatus::kDatagram:
      datagram->resize(result.size);
      *from = result.from;
      return ChannelWait::kDatagram;
    case platform::ReceiveStatus::kStopped:
      datagram->clear();
      if (stop_ != nullptr && stop_->GetMode() == platform::Event::Mode::kAutoReset) stop_->Set();
      return ChannelWait::kStopped;
    case platform::ReceiveStatus::kNothing:
      datagram->clear();
      return ChannelWait::kTimedOut;
    case platform::ReceiveStatus::kFailed:
      break;
  }
  datagram->clear();
  return ChannelWait::kFailed;
}

}  // namespace corvina::call
