// The session's receive thread: the thin shell around RtpReceiver that owns the waiting and
// the socket reads. Each pass waits (poll on the RTP socket and the stop event) for at most the
// time the playout asked for, files at most one datagram, plays what is due, follows the remote
// address when the session learns it, and sends the keep-alive when nothing went out for 55 s.
//
// It runs at the highest thread priority the process may take; nothing depends on getting it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/receive_taps.h"
#include "media/rtp_receiver.h"
#include "media/rtp_send_state.h"
#include "media/rtp_trace.h"
#include "platform/clock.h"
#include "platform/udp_socket.h"
#include "platform/worker_thread.h"

namespace corvina::media {

// What the receive thread works with; every pointer is shared with the session.
struct RtpReceiveContext {
  std::shared_ptr<platform::UdpSocket> socket;  // read only by this thread while it runs
  std::shared_ptr<RtpSendState> send;           // numbering, destination, keep-alive
  std::shared_ptr<ReceiveTaps> taps;            // where played audio goes
  std::shared_ptr<ReceiveFlags> flags;          // set by the session, read here
  std::shared_ptr<RtpTracer> tracer;
  const platform::MediaClock* clock = nullptr;  // outlives the thread
  const platform::TickClock* tick = nullptr;    // outlives the thread
};

class RtpReceiveThread final : public platform::WorkerThread {
 public:
  explicit RtpReceiveThread(RtpReceiveContext context);
  ~RtpReceiveThread() override;

  // Datagrams read since the start (the start-up drain not counted).
  std::uint64_t DatagramsRead() const { return datagramsRead_.load(); }

 private:
  void Run() override;
  void Drain();
  // Reads one waiting datagram into the jitter buffer.
  void ReadOne(RtpReceiver& receiver);
  PlayoutTypes CurrentTypes() const;

  const RtpReceiveContext context_;
  std::vector<std::uint8_t> scratch_;  // this thread: the start-up drain's buffer
  std::atomic<std::uint64_t> datagramsRead_{0};
};

}  // namespace corvina::media
