// WAV reading and writing: our own files back, files made by sox, and the refusal of broken
// or unsupported headers.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/sample_scale.h"
#include "media/wav_file.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using testing::MakeWavFile;
using testing::ReadFileBytes;
using testing::ScratchPath;
using testing::WriteFileBytes;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

WavError OpenBytes(const std::vector<std::uint8_t>& bytes, const std::string& name = "case.wav") {
  const std::string path = ScratchPath(name);
  EXPECT_TRUE(WriteFileBytes(path, bytes));
  WavReader reader;
  return reader.Open(path);
}

TEST(WavTest, WrittenFileHasTheFixedHeaderAndReadsBack) {
  const std::string path = ScratchPath("written.wav");
  std::vector<std::int32_t> samples = {0, 16, -16, 7, 8, -9, kFullScale - 1, -kFullScale, 3 * kFullScale, -5 * kFullScale};
  WavWriter writer;
  ASSERT_EQ(writer.Create(path), WavError::kNone);
  // While recording the sizes say "unknown".
  std::vector<std::uint8_t> partial = ReadFileBytes(path);
  ASSERT_EQ(partial.size(), 46u);
  EXPECT_EQ(Le32(partial, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Le32(partial, 42), 0xFFFFFFD9u);
  ASSERT_TRUE(writer.Write(samples));
  EXPECT_EQ(writer.FramesWritten(), samples.size());
  ASSERT_EQ(writer.Close(), WavError::kNone);

  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 46 + 2 * samples.size());
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(bytes, 4), 2 * samples.size() + 38);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(bytes, 16), 18u);
  EXPECT_EQ(Le32(bytes, 20), 1u | (1u << 16));  // PCM, one channel
  EXPECT_EQ(Le32(bytes, 24), 8000u);
  EXPECT_EQ(Le32(bytes, 28), 16000u);
  EXPECT_EQ(Le32(bytes, 32), 2u | (16u << 16));
  EXPECT_EQ(bytes[36] | (bytes[37] << 8), 0);
  EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 42), "data");
  EXPECT_EQ(Le32(bytes, 42), 2 * samples.size());

  WavReader reader;
  ASSERT_EQ(reader.Open(path), WavError::kNone);
  EXPECT_EQ(reader.Format().sampleRate, 8000u);
  EXPECT_EQ(reader.FrameCount(), samples.size());
  std::vector<std::int32_t> back(20);
  ASSERT_EQ(reader.ReadMono(back), samples.size());
  // Rounded to 16 bits ((x + 8) >> 4) and clipped, never wrapped.
  const std::vector<std::int32_t> expected = {0, 16, -16, 0, 16, -16, 524272, -524288, 524272, -524288};
  back.resize(samples.size());
  EXPECT_EQ(back, expected);
  EXPECT_EQ(reader.ReadMono(back), 0u);
  ASSERT_TRUE(reader.Rewind());
  EXPECT_EQ(reader.ReadMono(back), samples.size());
}

// A recording cut off before its header was rewritten still opens, up to the end of file.
TEST(WavTest, UnfinishedRecordingReadsToTheEndOfTheFile) {
  const std::string path = ScratchPath("unfinished.wav");
  const auto header = MakeWavHeader(0xFFFFFFD9u);
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  for (int i = 0; i < 7; ++i) bytes.push_back(static_cast<std::uint8_t>(i));  // 3 frames and a half
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  WavReader reader;
  ASSERT_EQ(reader.Open(path), WavError::kNone);
  EXPECT_EQ(reader.FrameCount(), 3u);
}


TEST(WavTest, SkipsOtherChunksAndTheirPadding) {
  std::vector<std::uint8_t> file = MakeWavFile(1, 8000, 16, {1, 0, 2, 0});
  // A LIST chunk of odd length (padded to even) between "fmt " and "data".
  const std::uint8_t list[] = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
  file.insert(file.begin() + 36, std::begin(list), std::end(list));
  const std::string path = ScratchPath("list.wav");
  ASSERT_TRUE(WriteFileBytes(path, file));
  WavReader reader;
  ASSERT_EQ(reader.Open(path), WavError::kNone);
  std::vector<std::int32_t> out(4);
  ASSERT_EQ(reader.ReadMono(out), 2u);
  EXPECT_EQ(out[0], 16);
  EXPECT_EQ(out[1], 32);
}

TEST(WavTest, RefusesBrokenAndUnsupportedFiles) {
  const std::vector<std::uint8_t> good = MakeWavFile(1, 8000, 16, std::vector<std::uint8_t>(320, 0));
  auto changed = [&good](std::size_t at, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> f = good;
    std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<long>(at));
    return f;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    WavError error;
  };
  std::vector<std::uint8_t> fmtLate = good;  // data chunk first, then fmt
  std::rotate(fmtLate.begin() + 12, fmtLate.begin() + 36, fmtLate.begin() + 44);
  const Case cases[] = {
      {"empty", {}, WavError::kTruncated},
      {"header cut short", std::vector<std::uint8_t>(good.begin(), good.begin() + 30), WavError::kDataBeyondEnd},
      {"cut in a chunk header", std::vector<std::uint8_t>(good.begin(), good.begin() + 40), WavError::kTruncated},
      {"not RIFF", changed(0, {'R', 'I', 'F', 'X'}), WavError::kNotRiff},
      {"not WAVE", changed(8, {'A', 'V', 'I', ' '}), WavError::kNotWave},
      {"format chunk too short", changed(16, {12}), WavError::kBadFormatChunk},
      {"IEEE float", changed(20, {3}), WavError::kNotPcm},
      {"extensible", changed(20, {0xFE, 0xFF}), WavError::kNotPcm},
      {"three channels", changed(22, {3}), WavError::kUnsupportedChannels},
      {"24-bit", changed(34, {24}), WavError::kUnsupportedBits},
      {"rate 0", changed(24, {0, 0, 0, 0}), WavError::kBadRate},
      {"wrong byte rate", changed(28, {0x40, 0x1F}), WavError::kInconsistentFormat},
      {"wrong block size", changed(32, {4}), WavError::kInconsistentFormat},
      {"data longer than the file", changed(40, {0x00, 0x10}), WavError::kDataBeyondEnd},
      {"no data chunk", changed(36, {'j', 'u', 'n', 'k'}), WavError::kMissingData},
      {"data before format", fmtLate, WavError::kDataBeforeFormat},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpenBytes(c.bytes), c.error) << c.what;
    EXPECT_FALSE(WavErrorText(c.error).empty());
  }
  WavReader reader;
  EXPECT_EQ(reader.Open(ScratchPath("does-not-exist.wav")), WavError::kOpenFailed);
  std::vector<std::int32_t> none(4);
  EXPECT_EQ(reader.ReadMono(none), 0u);
}

// Every prefix of a valid header is refused or parsed without reading outside the buffer
// (the buffer is exactly as long as the prefix, so a sanitizer run catches any over-read).
TEST(WavTest, HeaderPrefixesNeverReadBeyondTheirBytes) {
  const std::vector<std::uint8_t> good = MakeWavFile(2, 16000, 16, std::vector<std::uint8_t>(64, 1));
  for (std::size_t n = 0; n <= good.size(); ++n) {
    std::vector<std::uint8_t> prefix(good.begin(), good.begin() + static_cast<long>(n));
    const WavHeaderResult asFile = ParseWavHeader(prefix, n);
    if (n < 44) {
      EXPECT_NE(asFile.error, WavError::kNone) << n;
    }
    // The same prefix as the window of a longer file: never more than the window is used.
    const WavHeaderResult asWindow = ParseWavHeader(prefix, good.size());
    if (n >= 44) {
      EXPECT_EQ(asWindow.error, WavError::kNone);
      EXPECT_EQ(asWindow.layout.dataBytes, 64u);
    }
  }
}

TEST(WavTest, WriterReportsFilesItCannotCreate) {
  WavWriter writer;
  EXPECT_EQ(writer.Create(ScratchPath("no-such-folder/x.wav")), WavError::kOpenFailed);
  EXPECT_FALSE(writer.Write(std::vector<std::int32_t>(3, 0)));
}

}  // namespace
}  // namespace corvina::media
