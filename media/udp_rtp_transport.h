// The RTP socket as a session's datagram path: sends go out through the UDP socket (which
// carries the voice type-of-service set when it was opened) and are traced when tracing is on.
// Destroying the transport closes the socket; the session does that under its send lock, after
// its receive thread has ended, so no send can reach a descriptor number the system reuses.
#pragma once

#include <memory>

#include "media/rtp_send_state.h"
#include "media/rtp_trace.h"
#include "platform/udp_socket.h"

namespace corvina::media {

class UdpRtpTransport final : public RtpTransport {
 public:
  UdpRtpTransport(std::shared_ptr<platform::UdpSocket> socket, std::shared_ptr<RtpTracer> tracer)
      : socket_(std::move(socket)), tracer_(std::move(tracer)) {}
  ~UdpRtpTransport() override { socket_->Close(); }

  void Send(std::span<const std::uint8_t> datagram, const platform::SocketAddress& to) override {
    socket_->SendTo(to, datagram);
    tracer_->Sent(to, datagram);
  }

 private:
  const std::shared_ptr<platform::UdpSocket> socket_;
  const std::shared_ptr<RtpTracer> tracer_;
};

}  // namespace corvina::media
