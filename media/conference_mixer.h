// The conference mixer: the local microphone and speaker joined with every line of a
// conference. It is the microphone's sink of the audio chain; each 20 ms block of microphone
// audio drives one mix: 160 samples are read from each line's received audio (zeros where the
// line has none), the speaker gets the sum of the lines and each line's sender gets the
// microphone plus every other line, so nobody hears themself. Sums are taken in 64 bits and then
// clipped to full scale: loud parties clip, they never wrap and are never averaged down.
//
// The speaker's sum is what the playback device plays, so the echo suppressor that the
// playback chain feeds hears exactly what the speaker sends out.
//
// Threads: Join, Leave and Lines may be called from any thread (the user-interface thread in
// practice); the members list is guarded by the mixer's lock. Transfer belongs to the capture
// thread, which takes a copy of the members under the lock and mixes outside it; members are
// reference counted, so a line leaving mid-block keeps its reader and sender alive until that
// block is done.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "media/audio_ring.h"
#include "media/audio_sink.h"
#include "media/sample_scale.h"
#include "platform/thread_checker.h"

namespace corvina::media {

class ConferenceMixer final : public AudioSink {
 public:
  // The most lines a conference can hold at once (the mixer's scratch is sized for them).
  static constexpr std::size_t kMaxLines = 8;

  ConferenceMixer();

  // The reading end of the speaker's sum, for the playback thread.
  const AudioSinkPtr& SpeakerSource() const { return speakerReader_; }

  // Joins line `id`: `reader` gives its received audio, `sender` takes what it is sent. A line
  // already joined under `id` is replaced. False (nothing changed) when the mixer is full or a
  // stream is missing.
  bool Join(int id, AudioSinkPtr reader, AudioSinkPtr sender);
  // Lets line `id` go (nothing when it is not joined).
  void Leave(int id);
  std::vector<int> Lines() const;

  // Capture thread: takes microphone samples; every full 20 ms block is mixed.
  std::size_t Transfer(std::span<std::int32_t> samples) override;
  std::uint64_t Position() const override;

 private:
  struct Member {
    int id;
    AudioSinkPtr reader;
    AudioSinkPtr sender;
  };
  using Block = std::array<std::int32_t, kFrameSamples>;

  explicit ConferenceMixer(AudioRingEnds speaker);
  void MixBlock();

  mutable std::mutex lock_;
  std::vector<std::shared_ptr<const Member>> members_;  // guarded by lock_

  const AudioSinkPtr speakerWriter_;  // written by the capture thread only
  const AudioSinkPtr speakerReader_;  // read by the playback thread only

  platform::ThreadChecker capture_;  // the first thread to write owns the fields below
  Block mic_{};
  std::size_t micFill_ = 0;
  std::vector<std::shared_ptr<const Member>> snapshot_;  // this block's members
  std::vector<Block> received_;                          // what each of them sent us
  std::array<std::int64_t, kFrameSamples> total_{};     // Σ of the lines
  Block out_{};
};

}  // namespace corvina::media
