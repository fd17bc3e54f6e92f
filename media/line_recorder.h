// One line's call recorder: the session's two recording taps (what the peer sent, decoded, and
// what the microphone sent, before encoding) feed two rings, and the recorder mixes them into
// one mono stream for its RecordingSink. Each direction waits for the other, so the two stay in
// step; a direction that stops delivering (no packets, no microphone) is filled with silence
// once the other is 400 ms ahead.
//
// Shared (std::shared_ptr) by the controller's side, which starts and stops it, and the two taps
// the session's receive and capture threads write into; one lock guards start, stop, every
// write and the mix.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "media/audio_sink.h"
#include "media/recording_sink.h"

namespace corvina::media {

class LineRecorder final : public std::enable_shared_from_this<LineRecorder> {
 public:
  enum Direction { kReceived = 0, kSent = 1 };
  // Largest piece handed to the sink, and largest piece of a tap's block taken in one step.
  static constexpr std::size_t kMixBlock = 8192;
  // A direction this many bytes (4 per sample) ahead of the other pads the other with silence.
  static constexpr std::size_t kPadBytes = 12801;
  static constexpr std::size_t kPadSamples = (kPadBytes + 3) / 4;
  // Room for a lead just short of the padding threshold plus one more block.
  static constexpr std::size_t kRingSamples = kPadSamples + kMixBlock;

  static std::shared_ptr<LineRecorder> Create();
  LineRecorder(const LineRecorder&) = delete;
  LineRecorder& operator=(const LineRecorder&) = delete;

  // The tap for one direction (8000 Hz mono); hand it to the session once.
  AudioSinkPtr Tap(Direction direction);

  // Starts recording into `sink`; false, and `sink` left alone, when a recording runs already
  // (the running recording is kept). Any thread.
  bool Start(RecordingSinkPtr sink);
  // Mixes what still waits (the late side padded with silence), takes the sink out and closes it
  // after the lock is released. Returns the stopped sink (nullptr when nothing recorded).
  RecordingSinkPtr Stop();
  bool Recording() const;

  // A tap's samples (internal scale). Any thread; takes the lock.
  void Feed(Direction direction, std::span<const std::int32_t> samples);

 private:
  LineRecorder() = default;

  // First-in first-out samples of one direction.
  struct Ring {
    std::array<std::int32_t, kRingSamples> samples{};
    std::size_t read = 0;
    std::size_t count = 0;
    bool padded = false;
    void Append(std::span<const std::int32_t> in);
    void AppendZeros(std::size_t n);
    void Take(std::span<std::int32_t> out);
  };
  void FeedPieceLocked(Direction direction, std::span<const std::int32_t> piece);
  void MixLocked(std::size_t samples);

  mutable std::mutex lock_;
  RecordingSinkPtr sink_;             // guarded by lock_; set while recording
  std::array<Ring, 2> rings_;         // guarded by lock_
  std::array<std::int32_t, kMixBlock> mix_{};    // guarded by lock_
  std::array<std::int32_t, kMixBlock> other_{};  // guarded by lock_
};

}  // namespace corvina::media
