// Sources that play stored audio into a playback thread: a WAV file, once or looping, and a
// block of samples held in memory. Each is read by one thread (the playback thread).
//
// A looping file starts again at its beginning when it reaches its end; a file with no audio
// at all (or one that cannot be read again) plays silence for as long as it is read, rather
// than searching its end over and over.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/audio_sink.h"
#include "media/wav_file.h"

namespace corvina::media {

class WavFileSource final : public AudioSink {
 public:
  // Nullptr when the file cannot be opened as a WAV file.
  static std::shared_ptr<WavFileSource> Open(const std::string& path, bool loop);

  std::size_t Transfer(std::span<std::int32_t> samples) override;

 private:
  WavFileSource(std::unique_ptr<WavReader> reader, bool loop);

  const std::unique_ptr<WavReader> reader_;  // the reading thread
  const bool loop_;
  bool silentForever_ = false;  // a looping file with nothing to loop
};

// Plays a block of samples once.
class SampleBufferSource final : public AudioSink {
 public:
  SampleBufferSource(std::vector<std::int32_t> samples, std::uint32_t sampleRate)
      : AudioSink(sampleRate, 1), samples_(std::move(samples)) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override;

 private:
  const std::vector<std::int32_t> samples_;
  std::size_t at_ = 0;  // the reading thread
};

}  // namespace corvina::media
