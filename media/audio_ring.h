// A fixed-size ring of audio between two threads: one end is written as a sink (it takes what
// fits and says how much), the other is read as a source (it gives what is there, zeros the
// rest of the buffer and says how much was real). The session's received audio reaches the
// playback device or a conference mixer through one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/audio_sink.h"

namespace corvina::media {

// The received-audio ring: 600 ms, twice the most the playout ever queues.
inline constexpr std::size_t kReceivedAudioRingSamples = 4800;

struct AudioRingEnds {
  AudioSinkPtr writer;  // Position(): samples taken so far
  AudioSinkPtr reader;  // Position(): samples read so far
};

// Both ends announce `sampleRate`, one channel; the storage is allocated here, once.
AudioRingEnds MakeAudioRing(std::size_t capacity, std::uint32_t sampleRate);

}  // namespace corvina::media
