#include "media/rtp_receiver.h"

namespace corvina::media {

PlayoutPass RtpReceiver::RunPlayout(std::int64_t nowMs) {
  CORVINA_CHECK_THREAD(thread_);
  PlayoutPass pass;
  // Every round but the last takes a slot, so a pass ends after at most kJitterSlots plays.
  for (;;) {
    if (!buffer_.HasNext()) {
      pass.waitMs = playout_.Starve(nowMs);
      return pass;
    }
    bool forced = false;
    if (!buffer_.NextInOrder()) {
      const std::int64_t wait = playout_.GapWaitMs(nowMs);
      if (wait > kMinGapWaitMs) {
        pass.waitMs = wait;
        return pass;
      }
      forced = true;
    }
    const std::optional<TakenPacket> packet = buffer_.Take();
    playout_.Play(packet->datagram, forced, nowMs);
    pass.playedSource = packet->source;
  }
}

}  // namespace corvina::media
