// The shared audio stream of the audio chain. A stream is either a sink (Transfer consumes the
// samples it is given: a write) or a source (Transfer fills the buffer: a read). Streams are
// shared between the threads of a call (capture, playback, receive) and are reference counted
// through std::shared_ptr: the last holder to let go destroys the stream.
//
// Samples are signed 32-bit at sixteen times the 16-bit scale (media/sample_scale.h), with the
// channels of a frame side by side.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace corvina::media {

class AudioSink {
 public:
  AudioSink(std::uint32_t sampleRate, std::uint8_t channels) : sampleRate_(sampleRate), channels_(channels) {}
  virtual ~AudioSink() = default;
  AudioSink(const AudioSink&) = delete;
  AudioSink& operator=(const AudioSink&) = delete;

  // A sink consumes `samples` and returns how many it took; it may use the buffer as scratch,
  // so the caller must not rely on its contents afterwards. A source fills `samples` with up to
  // samples.size() samples, zeros the rest, and returns how many were real audio (0 when it
  // has nothing).
  virtual std::size_t Transfer(std::span<std::int32_t> samples) = 0;
  // Samples handed on so far (the echo reference's clock).
  virtual std::uint64_t Position() const { return 0; }

  std::uint32_t SampleRate() const { return sampleRate_; }
  std::uint8_t Channels() const { return channels_; }

 private:
  const std::uint32_t sampleRate_;
  const std::uint8_t channels_;
};

using AudioSinkPtr = std::shared_ptr<AudioSink>;

// A stream that wraps another: it announces the wrapped stream's format and forwards Position
// to it. A filter's own Transfer processes the samples and hands them on (or reads them from
// the wrapped source first).
class AudioFilter : public AudioSink {
 public:
  explicit AudioFilter(AudioSinkPtr next) : AudioSink(next->SampleRate(), next->Channels()), next_(std::move(next)) {}
  std::uint64_t Position() const override { return next_->Position(); }
  const AudioSinkPtr& Next() const { return next_; }

 protected:
  const AudioSinkPtr next_;
};

// Discards whatever it is given (announcing 44100 Hz mono); read as a source it is endless
// silence. Either way it zeros the buffer and reports every sample transferred.
class NullSink final : public AudioSink {
 public:
  NullSink() : AudioSink(44100, 1) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override;
  std::uint64_t Position() const override { return position_.load(); }

 private:
  std::atomic<std::uint64_t> position_{0};  // any thread; counts samples taken
};

}  // namespace corvina::media
