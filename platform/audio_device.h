// Sound devices as the media layer drives them: a playback stream takes blocks of 16-bit
// samples into a fixed number of buffers and says when one has played; a capture stream fills
// a fixed number of buffers and says when one is ready. Every stream can report that its
// device went away (a headset pulled out); it then plays or captures nothing more and never
// blocks its caller.
//
// Samples are signed 16-bit with the channels of a frame side by side.
//
// A mono stream may live on one channel of a device with several (the second input of a
// two-channel USB interface, say): the device is opened with enough channels to reach it, the
// capture stream keeps only that channel and the playback stream fills the others with silence.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/event.h"

namespace corvina::platform {

struct AudioFormat {
  std::uint32_t sampleRate = 8000;
  int channels = 1;
  // Sound cards only, mono streams only: the device channel (0 = the first) that carries the
  // stream. A stream's own Format() says the channel it got.
  int deviceChannel = 0;
  bool operator==(const AudioFormat&) const = default;
};

// Where a stream sits in the device's frames: the device is opened with `deviceChannels`
// channels; a mono stream on a device of more channels uses `channel` of them.
struct ChannelPlacement {
  int deviceChannels = 1;
  int channel = 0;
  bool operator==(const ChannelPlacement&) const = default;
};

// The placement of a stream of `format` on a device of at most `maxChannels` (0: unknown).
// A mono stream gets the channel asked for when the device has it, else channel 0; a stream of
// several channels takes the device's first channels as they are.
ChannelPlacement PlaceStream(const AudioFormat& format, int maxChannels);
// Copies `frames` frames between the stream's samples (`streamChannels` a frame) and the
// device's (`placement.deviceChannels` a frame): sample for sample when both have the same
// count, else the one channel the placement names, with silence on the device's other channels.
void StreamFromDevice(const std::int16_t* device, ChannelPlacement placement, int streamChannels,
                      std::int16_t* stream, std::size_t frames);
void StreamToDevice(const std::int16_t* stream, int streamChannels, ChannelPlacement placement,
                    std::int16_t* device, std::size_t frames);

// How a stream's audio is cut into buffers.
struct AudioBufferPlan {
  int blockFrames = 0;  // frames per buffer
  int bufferCount = 0;
};

// Playback: blocks of 100 ms (rate / 10 frames, 20..8192) in 8 buffers used round robin.
AudioBufferPlan PlaybackBufferPlan(std::uint32_t sampleRate);
// Capture: blocks of 20 ms (rate / 50 frames, 32..8192) in 50 buffers (one second).
AudioBufferPlan CaptureBufferPlan(std::uint32_t sampleRate);

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  virtual AudioFormat Format() const = 0;
  virtual AudioBufferPlan Plan() const = 0;
  // Queues one block of at most Plan().blockFrames frames; false when every buffer is queued or
  // the device is lost. Called by one thread at a time.
  virtual bool Queue(std::span<const std::int16_t> samples) = 0;
  // Buffers queued and not yet played.
  virtual int QueuedBuffers() const = 0;
  // Set (auto-reset) each time a buffer has finished playing.
  virtual Event& BufferDone() = 0;
  // True once the device went away.
  virtual bool Lost() const = 0;
};

class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual AudioFormat Format() const = 0;
  virtual AudioBufferPlan Plan() const = 0;
  // Moves the oldest filled block into `block`; false when none is ready. One thread at a time.
  virtual bool TakeBlock(std::vector<std::int16_t>* block) = 0;
  // Set (auto-reset) each time a block has been filled.
  virtual Event& BlockReady() = 0;
  virtual bool Lost() const = 0;
};

enum class AudioOpenError {
  kNone,
  kBadFormat,    // the device exists but does not take this format: try another
  kUnavailable,  // no such device, busy, or the sound system is down
};

template <typename Stream>
struct AudioOpenResult {
  std::unique_ptr<Stream> stream;
  AudioOpenError error = AudioOpenError::kNone;
  std::string detail;  // the sound system's own words, for the activity log
};

// One family of devices (the sound cards, the silent device, ...).
class AudioDeviceSystem {
 public:
  virtual ~AudioDeviceSystem() = default;
  // Device names in the system's order, without the default entry.
  virtual std::vector<std::string> PlaybackDevices() = 0;
  virtual std::vector<std::string> CaptureDevices() = 0;
  // Whether the system has a default device at all (false on a machine without sound card).
  virtual bool HasDefaultPlayback() = 0;
  virtual bool HasDefaultCapture() = 0;
  // Opens the named device (empty: the default one) in exactly `format`, and starts it.
  virtual AudioOpenResult<AudioOutput> OpenOutput(const std::string& name, const AudioFormat& format) = 0;
  virtual AudioOpenResult<AudioInput> OpenInput(const std::string& name, const AudioFormat& format) = 0;
};

}  // namespace corvina::platform
