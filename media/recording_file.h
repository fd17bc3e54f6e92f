// Call recordings as WAV files in the recordings folder: the file name made from the start time
// and the recording name, never overwriting an older recording, and a sink that keeps the file
// readable at every moment (a phone killed mid-call loses at most the last second).
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/recording_sink.h"
#include "media/wav_file.h"

namespace corvina::media {

// Longest file name the file system takes, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// `text` without the characters below 32 and without " * . / : < > ? \ |.
std::string CleanRecordingName(std::string_view text);

// "YYYY-MM-DD HH-MM NAME", cleaned as above (the full stop of ".wav" comes later).
std::string RecordingBaseName(const std::tm& local, std::string_view name);

// The file name of copy `copy` of `base`: "BASE.wav" for copy 1, "BASE (2).wav", "BASE (3).wav"
// for later ones, with BASE cut on a character boundary so that the whole name fits in
// kMaxFileNameBytes.
std::string RecordingFileName(std::string_view base, int copy);

// The sink behind a WAV recording. Samples gather in a buffer of 8192; each full buffer is
// written and the header given the true sizes, and Close writes the rest and closes the file.
// A file that could not be created leaves a sink that discards.
class WavRecordingSink final : public RecordingSink {
 public:
  static constexpr std::size_t kBufferSamples = 8192;
  // Gives up on a name after this many copies of it.
  static constexpr int kMaxCopies = 999;

  // Creates the first free "BASE.wav", "BASE (2).wav" ... in `folder` (which must exist). On
  // failure "Unable to open file: " + path goes to `log` (level 1).
  static std::shared_ptr<WavRecordingSink> Open(const std::string& folder, std::string_view base,
                                                platform::LogSink* log);

  void Write(std::span<const std::int32_t> mixed) override;
  void Close() override;
  RecordingTarget Target() const override { return {RecordingTarget::Kind::kFile, path_}; }
  bool IsOpen() const { return open_; }

 private:
  WavRecordingSink(std::string path, bool open) : path_(std::move(path)), open_(open) {}

  const std::string path_;
  // The recorder's lock guards these while it records; Close runs after it let the sink go.
  bool open_;
  WavWriter writer_;
  std::vector<std::int32_t> buffer_;
};

}  // namespace corvina::media
