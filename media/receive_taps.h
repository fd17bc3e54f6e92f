// Where the receive thread's played audio goes: the speaker feed (the ring the loudspeaker or a
// conference mixer reads) and the received-audio recording tap. Both are swapped and written
// under the one tap lock and held as shared pointers, so a sink being replaced is never freed
// while a block is written to it; a replaced sink is let go after the lock is released.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "media/audio_sink.h"

namespace corvina::media {

class ReceiveTaps final : public AudioSink {
 public:
  // Both start as NullSinks. Announces 8000 Hz mono.
  ReceiveTaps();

  // Any thread. nullptr stands for a NullSink.
  void SetSpeakerFeed(AudioSinkPtr feed);
  void SetReceivedTap(AudioSinkPtr tap);
  AudioSinkPtr SpeakerFeed() const;
  AudioSinkPtr ReceivedTap() const;

  // Receive thread: writes the block to the speaker feed, then to the recording tap; returns
  // what the speaker feed took.
  std::size_t Transfer(std::span<std::int32_t> samples) override;

 private:
  static constexpr std::size_t kChunk = 320;

  mutable std::mutex lock_;  // the session's tap lock
  AudioSinkPtr feed_;        // guarded by lock_
  AudioSinkPtr tap_;         // guarded by lock_
  std::array<std::int32_t, kChunk> scratch_{};  // guarded by lock_
};

}  // namespace corvina::media
