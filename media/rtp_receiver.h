// The receive thread's core: the jitter buffer and the playout controller joined the way the
// thread drives them, plus the small decisions of the thread that are not socket work.
//
// A receive-thread shell does, per pass:
//   1. if ReceiveFlags::resetReceive was set (exchange(false)): RearmSsrcLearning(tick);
//   2. when the socket is readable: read one datagram into ReceiveArea() (empty: every slot is
//      in use, wait kFullBufferWaitMs instead), then Commit() it with its full length and source
//      (and trace it when RTP tracing is on and the outcome carries a header);
//   3. RunPlayout(now): plays what is due; the pass says how long to wait for the socket next
//      and where the last played packet came from (the new destination when the session
//      learns the remote address);
//   4. RtpSendState::SendKeepAliveIfIdle(): the keep-alive packet when KeepAliveDue.
// At start it reads and discards at most kStartupDrainLimit waiting datagrams, then waits
// kFirstWaitMs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "media/audio_sink.h"
#include "media/jitter_buffer.h"
#include "media/playout_controller.h"
#include "media/rtp_send_state.h"
#include "platform/socket_address.h"
#include "platform/thread_checker.h"

namespace corvina::media {

inline constexpr std::int64_t kFirstWaitMs = 1000;
inline constexpr std::int64_t kFullBufferWaitMs = 10;
// Waits for the socket are cut into slices of this length, the stop event checked between.
inline constexpr std::int64_t kWaitSliceMs = 200;
// A gap wait at or below this plays past the missing packet at once.
inline constexpr std::int64_t kMinGapWaitMs = 5;
// Datagrams read and discarded at start at most: a flood cannot hold up start or stop.
inline constexpr int kStartupDrainLimit = 64;

// Flags the session sets for its receive thread (any thread writes, the receive thread reads).
struct ReceiveFlags {
  std::atomic<bool> resetReceive{false};        // re-learn the remote SSRC
  std::atomic<bool> learnRemoteAddress{false};  // send to where played packets come from
};

// True when a keep-alive packet is due: more than 55000 ms since the last packet sent.
inline bool KeepAliveDue(std::int64_t nowMs, std::int64_t lastSendMs) { return nowMs - lastSendMs > kKeepAliveIdleMs; }

// Whether the start-up drain reads another waiting datagram, `drained` having been read.
inline bool StartupDrainContinues(int drained, bool datagramWaiting) {
  return datagramWaiting && drained < kStartupDrainLimit;
}

struct PlayoutPass {
  std::int64_t waitMs = 0;                             // wait for the socket at most this long
  std::optional<platform::SocketAddress> playedSource;  // source of the last packet played
};

class RtpReceiver {
 public:
  // `output` receives the played audio (the session's taps) and must outlive the receiver.
  RtpReceiver(AudioSink& output, PlayoutTypes types, std::uint32_t noiseSeed, std::uint32_t nowTick,
              std::int64_t nowMs)
      : buffer_(nowTick), playout_(output, types, noiseSeed, nowMs) {}

  // Every entry runs on the thread that created the receiver (the receive thread).
  void SetPayloadTypes(PlayoutTypes types) {
    CORVINA_CHECK_THREAD(thread_);
    playout_.SetPayloadTypes(types);
  }
  void RearmSsrcLearning(std::uint32_t nowTick) {
    CORVINA_CHECK_THREAD(thread_);
    buffer_.RearmSsrcLearning(nowTick);
  }

  std::span<std::uint8_t> ReceiveArea() {
    CORVINA_CHECK_THREAD(thread_);
    return buffer_.ReceiveArea();
  }
  // `length` is the datagram's full size as the socket reported it (recvfrom with MSG_TRUNC):
  // one longer than the area was cut short and is dropped.
  ReceiveResult Commit(std::size_t length, platform::SocketAddress source, std::uint32_t nowTick) {
    CORVINA_CHECK_THREAD(thread_);
    return buffer_.Commit(length, source, nowTick);
  }

  // Plays packets in order, waits for missing ones while the output holds enough, plays past
  // them when it does not, and fills the output when nothing is there.
  PlayoutPass RunPlayout(std::int64_t nowMs);

  const JitterBuffer& Buffer() const { return buffer_; }
  JitterBuffer& Buffer() { return buffer_; }
  PlayoutController& Playout() { return playout_; }

 private:
  platform::ThreadChecker thread_;
  JitterBuffer buffer_;        // receive thread
  PlayoutController playout_;  // receive thread
};

}  // namespace corvina::media
