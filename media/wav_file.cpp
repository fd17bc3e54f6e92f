#include "media/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "media/sample_scale.h"

namespace corvina::media {
namespace {

// Data size our writer puts in the header while the length is still unknown (-39, so that the
// RIFF size, data size + 38, reads 0xFFFFFFFF).
constexpr std::uint32_t kRecordingDataMark = 0xFFFFFFD9u;
constexpr std::uint32_t kUnknownLength = 0xFFFFFFFFu;
constexpr std::uint32_t kMaxRate = 1000000;

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
bool Tag(std::span<const std::uint8_t> bytes, std::size_t at, const char* tag) {
  return std::memcmp(bytes.data() + at, tag, 4) == 0;
}
void PutLe32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void PutLe16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

WavError CheckFormat(std::span<const std::uint8_t> chunk, WavFormat& format) {
  if (chunk.size() < 16) return WavError::kBadFormatChunk;
  if (Le16(chunk, 0) != 1) return WavError::kNotPcm;
  format.channels = Le16(chunk, 2);
  format.sampleRate = Le32(chunk, 4);
  const std::uint32_t byteRate = Le32(chunk, 8);
  const std::uint16_t blockAlign = Le16(chunk, 12);
  format.bitsPerSample = Le16(chunk, 14);
  if (format.channels != 1 && format.channels != 2) return WavError::kUnsupportedChannels;
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return WavError::kUnsupportedBits;
  if (format.sampleRate == 0 || format.sampleRate > kMaxRate) return WavError::kBadRate;
  if (blockAlign != format.BlockBytes() || byteRate != format.sampleRate * blockAlign) {
    return WavError::kInconsistentFormat;
  }
  return WavError::kNone;
}

}  // namespace

std::string_view WavErrorText(WavError error) {
  switch (error) {
    case WavError::kNone: return "no error";
    case WavError::kOpenFailed: return "the file cannot be opened";
    case WavError::kReadFailed: return "the file cannot be read";
    case WavError::kTruncated: return "the file ends inside its header";
    case WavError::kNotRiff: return "not a WAV file (no RIFF header)";
    case WavError::kNotWave: return "not a WAV file (RIFF type is not WAVE)";
    case WavError::kBadFormatChunk: return "the format chunk is too short";
    case WavError::kNotPcm: return "only plain PCM WAV files are supported";
    case WavError::kUnsupportedChannels: return "only mono and stereo WAV files are supported";
    case WavError::kUnsupportedBits: return "only 8-bit and 16-bit samples are supported";
    case WavError::kBadRate: return "the sample rate is invalid";
    case WavError::kInconsistentFormat: return "the format chunk contradicts itself (block size or byte rate)";
    case WavError::kDataBeforeFormat: return "the data chunk comes before the format chunk";
    case WavError::kMissingData: return "the file has no data chunk";
    case WavError::kHeaderTooLong: return "the format and data chunks are not within the first 64 KiB";
    case WavError::kDataBeyondEnd: return "a chunk runs past the end of the file";
    case WavError::kWriteFailed: return "the file cannot be written";
    case WavError::kExists: return "the file exists already";
  }
  return "unknown error";
}

WavHeaderResult ParseWavHeader(std::span<const std::uint8_t> head, std::uint64_t fileSize) {
  WavHeaderResult result;
  auto fail = [&result](WavError error) {
    result.error = error;
    return result;
  };
  if (head.size() > fileSize) head = head.first(static_cast<std::size_t>(fileSize));
  if (head.size() < 12) return fail(head.size() >= 4 && !Tag(head, 0, "RIFF") ? WavError::kNotRiff : WavError::kTruncated);
  if (!Tag(head, 0, "RIFF")) return fail(WavError::kNotRiff);
  if (!Tag(head, 8, "WAVE")) return fail(WavError::kNotWave);

  bool haveFormat = false;
  std::size_t at = 12;
  while (true) {
    if (at + 8 > head.size()) {
      // Out of chunks: at the end of the file there is no data chunk; short of it the file
      // was cut inside a chunk header, or the header is longer than the window we look at.
      if (at >= fileSize) return fail(WavError::kMissingData);
      return fail(at + 8 > fileSize ? WavError::kTruncated : WavError::kHeaderTooLong);
    }
    const std::uint32_t size = Le32(head, at + 4);
    const std::uint64_t body = at + 8;
    if (Tag(head, at, "data")) {
      if (!haveFormat) return fail(WavError::kDataBeforeFormat);
      std::uint64_t bytes = size;
      if (size == kUnknownLength || size == kRecordingDataMark) {
        bytes = fileSize - body;
      } else if (body + bytes > fileSize) {
        return fail(WavError::kDataBeyondEnd);
      }
      const int block = result.layout.format.BlockBytes();
      result.layout.dataOffset = body;
      result.layout.dataBytes = bytes / block * block;
      return result;
    }
    if (body + size > fileSize) return fail(WavError::kDataBeyondEnd);
    if (Tag(head, at, "fmt ")) {
      if (body + size > head.size()) return fail(WavError::kHeaderTooLong);
      const WavError error = CheckFormat(head.subspan(body, size), result.layout.format);
      if (error != WavError::kNone) return fail(error);
      haveFormat = true;
    }
    // Chunks are padded to an even length.
    const std::uint64_t next = body + size + (size & 1);
    if (next > head.size()) return fail(next >= fileSize ? WavError::kMissingData : WavError::kHeaderTooLong);
    at = static_cast<std::size_t>(next);
  }
}

WavReader::~WavReader() {
  if (file_ != nullptr) std::fclose(file_);
}

WavError WavReader::Open(const std::string& path) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return WavError::kOpenFailed;
  std::uint64_t fileSize = 0;
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    const long end = std::ftell(file_);
    if (end >= 0) fileSize = static_cast<std::uint64_t>(end);
  }
  std::rewind(file_);
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(kWavHeaderWindow, fileSize)));
  const std::size_t got = std::fread(head.data(), 1, head.size(), file_);
  const WavHeaderResult parsed = ParseWavHeader(std::span<const std::uint8_t>(head.data(), got), fileSize);
  if (parsed.error != WavError::kNone) {
    std::fclose(file_);
    file_ = nullptr;
    return parsed.error;
  }
  layout_ = parsed.layout;
  return Rewind() ? WavError::kNone : WavError::kReadFailed;
}

bool WavReader::Rewind() {
  if (file_ == nullptr) return false;
  framesLeft_ = FrameCount();
  return std::fseek(file_, static_cast<long>(layout_.dataOffset), SEEK_SET) == 0;
}

std::size_t WavReader::ReadMono(std::span<std::int32_t> out) {
  if (file_ == nullptr) return 0;
  const int block = layout_.format.BlockBytes();
  std::uint8_t buffer[4096];
  std::size_t done = 0;
  while (done < out.size() && framesLeft_ > 0) {
    const std::size_t want = std::min<std::uint64_t>({out.size() - done, framesLeft_, sizeof buffer / block});
    const std::size_t frames = std::fread(buffer, block, want, file_);
    for (std::size_t f = 0; f < frames; ++f) {
      const std::uint8_t* frame = buffer + f * block;
      std::int32_t sum = 0;
      for (int c = 0; c < layout_.format.channels; ++c) {
        sum += layout_.format.bitsPerSample == 8
                   ? (frame[c] - 128) * 256
                   : static_cast<std::int16_t>(frame[2 * c] | (frame[2 * c + 1] << 8));
      }
      out[done + f] = FromPcm16(static_cast<std::int16_t>(sum / layout_.format.channels));
    }
    done += frames;
    framesLeft_ -= frames;
    if (frames < want) {
      framesLeft_ = 0;  // the file shrank under us or could not be read
    }
  }
  return done;
}

std::array<std::uint8_t, 46> MakeWavHeader(std::uint32_t dataBytes) {
  std::array<std::uint8_t, 46> h{};
  std::memcpy(&h[0], "RIFF", 4);
  PutLe32(&h[4], dataBytes + 38);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  PutLe32(&h[16], 18);
  PutLe16(&h[20], 1);
  PutLe16(&h[22], 1);
  PutLe32(&h[24], kSampleRate);
  PutLe32(&h[28], kSampleRate * 2);
  PutLe16(&h[32], 2);
  PutLe16(&h[34], 16);
  PutLe16(&h[36], 0);
  std::memcpy(&h[38], "data", 4);
  PutLe32(&h[42], dataBytes);
  return h;
}

WavWriter::~WavWriter() { Close(); }

WavError WavWriter::Create(const std::string& path, bool exclusive) {
  Close();
  frames_ = 0;
  failed_ = false;
  file_ = std::fopen(path.c_str(), exclusive ? "wbx" : "wb");
  if (file_ == nullptr) return errno == EEXIST ? WavError::kExists : WavError::kOpenFailed;
  const auto header = MakeWavHeader(kRecordingDataMark);
  // Flushed at once, so that a recording cut off later still starts with a valid header.
  if (std::fwrite(header.data(), 1, header.size(), file_) != header.size() || std::fflush(file_) != 0) {
    failed_ = true;
    return WavError::kWriteFailed;
  }
  return WavError::kNone;
}

bool WavWriter::Write(std::span<const std::int32_t> samples) {
  if (file_ == nullptr || failed_) return false;
  // Keep room for the header's 32-bit sizes (data size + 38 must fit).
  constexpr std::uint32_t kMaxFrames = (0xFFFFFFFFu - 46) / 2;
  if (samples.size() > kMaxFrames - frames_) return false;
  std::uint8_t buffer[4096];
  std::size_t done = 0;
  while (done < samples.size()) {
    const std::size_t count = std::min(samples.size() - done, sizeof buffer / 2);
    for (std::size_t i = 0; i < count; ++i) {
      const std::int16_t v = ToPcm16(samples[done + i]);
      PutLe16(&buffer[2 * i], static_cast<std::uint16_t>(v));
    }
    if (std::fwrite(buffer, 2, count, file_) != count) {
      failed_ = true;
      return false;
    }
    done += count;
    frames_ += static_cast<std::uint32_t>(count);
  }
  return true;
}

bool WavWriter::Flush() {
  if (file_ == nullptr || failed_) return false;
  const auto header = MakeWavHeader(frames_ * 2);
  bool ok = std::fseek(file_, 0, SEEK_SET) == 0 &&
            std::fwrite(header.data(), 1, header.size(), file_) == header.size() &&
            std::fseek(file_, 0, SEEK_END) == 0 && std::fflush(file_) == 0;
  if (!ok) failed_ = true;
  return ok;
}

WavError WavWriter::Close() {
  if (file_ == nullptr) return WavError::kNone;
  const auto header = MakeWavHeader(frames_ * 2);
  bool ok = !failed_ && std::fseek(file_, 0, SEEK_SET) == 0 &&
            std::fwrite(header.data(), 1, header.size(), file_) == header.size();
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok ? WavError::kNone : WavError::kWriteFailed;
}

}  // namespace corvina::media
