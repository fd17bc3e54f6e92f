// WAV files: reading PCM 8-bit (unsigned) or 16-bit, mono or stereo, at any rate; writing
// 8000 Hz mono 16-bit with a 46-byte header whose sizes say "length unknown" until the file
// is closed. Refused: anything but plain PCM (format tag 1), other sample sizes, more than two
// channels, headers that contradict themselves, chunks that run past the end of the file, and
// files whose format and data chunk headers are not within the first 64 KiB.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace corvina::media {

enum class WavError {
  kNone,
  kOpenFailed,
  kReadFailed,
  kTruncated,
  kNotRiff,
  kNotWave,
  kBadFormatChunk,
  kNotPcm,
  kUnsupportedChannels,
  kUnsupportedBits,
  kBadRate,
  kInconsistentFormat,
  kDataBeforeFormat,
  kMissingData,
  kHeaderTooLong,
  kDataBeyondEnd,
  kWriteFailed,
  kExists,
};

// A sentence for the user, e.g. "not a WAV file (no RIFF header)".
std::string_view WavErrorText(WavError error);

struct WavFormat {
  int channels = 1;
  std::uint32_t sampleRate = 8000;
  int bitsPerSample = 16;
  int BlockBytes() const { return channels * bitsPerSample / 8; }
};

struct WavLayout {
  WavFormat format;
  std::uint64_t dataOffset = 0;
  std::uint64_t dataBytes = 0;  // whole frames only
};

struct WavHeaderResult {
  WavError error = WavError::kNone;
  WavLayout layout;
};

// How many bytes from the start of a file the header parser looks at.
inline constexpr std::size_t kWavHeaderWindow = 65536;

// Walks the chunks found in `head` (the first bytes of a file of `fileSize` bytes) to the
// format and data chunks. A data size of 0xFFFFFFFF, or the mark our writer leaves while
// recording, means the data runs to the end of the file. Reads nothing outside `head`.
WavHeaderResult ParseWavHeader(std::span<const std::uint8_t> head, std::uint64_t fileSize);

class WavReader {
 public:
  WavReader() = default;
  ~WavReader();
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  WavError Open(const std::string& path);
  const WavFormat& Format() const { return layout_.format; }
  std::uint64_t FrameCount() const { return layout_.dataBytes / layout_.format.BlockBytes(); }
  // Reads up to out.size() frames, channels averaged to mono, at the internal scale (16 times
  // 16-bit); returns the frames read, 0 at the end of the data or on a read error.
  std::size_t ReadMono(std::span<std::int32_t> out);
  // Back to the first frame (for looping playback).
  bool Rewind();

 private:
  std::FILE* file_ = nullptr;
  WavLayout layout_;
  std::uint64_t framesLeft_ = 0;
};

// The writer's header: "RIFF", data size + 38, "WAVE", an 18-byte "fmt " chunk (PCM, 1 channel,
// 8000 Hz, 16000 bytes/s, block 2, 16 bits, no extra bytes), "data", data size.
std::array<std::uint8_t, 46> MakeWavHeader(std::uint32_t dataBytes);

class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates or overwrites `path` and writes the header with the length-unknown sizes. With
  // `exclusive` an existing file is left alone and kExists returned.
  WavError Create(const std::string& path, bool exclusive = false);
  // Appends samples from the internal scale as 16 bits ((x + 8) >> 4, clipped); false after a
  // write failure or when the file would pass the 32-bit size limit.
  bool Write(std::span<const std::int32_t> samples);
  // Writes the true sizes of what is written so far into the header and hands everything to
  // the system, so that a process killed later still leaves a complete file; false after a
  // write failure.
  bool Flush();
  // Rewrites the header with the true data size and closes the file.
  WavError Close();
  std::uint32_t FramesWritten() const { return frames_; }

 private:
  std::FILE* file_ = nullptr;
  std::uint32_t frames_ = 0;
  bool failed_ = false;
};

}  // namespace corvina::media
