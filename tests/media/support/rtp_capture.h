// A fake datagram path for RTP send tests: records every datagram with its destination, and
// reads the header fields back.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "media/rtp_send_state.h"

namespace corvina::media::testing {

struct SentPacket {
  std::vector<std::uint8_t> bytes;
  platform::SocketAddress to;

  bool Marker() const { return (bytes.at(1) & 0x80) != 0; }
  std::uint8_t PayloadType() const { return bytes.at(1) & 0x7F; }
  std::uint16_t Sequence() const { return static_cast<std::uint16_t>(bytes.at(2) << 8 | bytes.at(3)); }
  std::uint32_t Timestamp() const { return Word(4); }
  std::uint32_t Ssrc() const { return Word(8); }
  std::size_t PayloadBytes() const { return bytes.size() - 12; }

 private:
  std::uint32_t Word(std::size_t at) const {
    return static_cast<std::uint32_t>(bytes.at(at)) << 24 | static_cast<std::uint32_t>(bytes.at(at + 1)) << 16 |
           static_cast<std::uint32_t>(bytes.at(at + 2)) << 8 | bytes.at(at + 3);
  }
};

// Shared between the transport the state owns and the test, which may outlive it.
struct PacketLog {
  std::mutex mutex;
  std::vector<SentPacket> packets;

  std::vector<SentPacket> Snapshot() {
    std::lock_guard lock(mutex);
    return packets;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex);
    return packets.size();
  }
};

class CapturingTransport final : public RtpTransport {
 public:
  explicit CapturingTransport(std::shared_ptr<PacketLog> log) : log_(std::move(log)) {}
  void Send(std::span<const std::uint8_t> datagram, const platform::SocketAddress& to) override {
    std::lock_guard lock(log_->mutex);
    log_->packets.push_back({{datagram.begin(), datagram.end()}, to});
  }

 private:
  std::shared_ptr<PacketLog> log_;
};

// A send state with a capturing transport, sending to 127.0.0.1:4000 with `types`.
inline std::shared_ptr<RtpSendState> MakeSendState(const platform::MediaClock& clock, std::shared_ptr<PacketLog> log,
                                                   const RtpPayloadTypes& types,
                                                   RtpNumbering numbering = {0x11223344, 1000, 50000}) {
  auto state = std::make_shared<RtpSendState>(clock, numbering);
  state->AttachTransport(std::make_unique<CapturingTransport>(std::move(log)));
  RtpRemote remote;
  remote.destination = {0x7F000001, 4000};
  remote.types = types;
  state->SetRemote(remote);
  return state;
}

}  // namespace corvina::media::testing
