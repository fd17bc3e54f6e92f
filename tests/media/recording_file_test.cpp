// Recording files: names from the start time and the cleaned recording name, cut to 255 bytes
// on a character boundary, never overwriting an older recording; a file that can be read at
// every moment of the recording (a phone killed mid-call leaves a valid file); the log line and
// silence when the file cannot be made.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/recording_file.h"
#include "platform/text.h"
#include "tests/app/recording_log.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using testing::ReadFileBytes;
using testing::ScratchPath;

std::tm At(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute;
  return t;
}

// A fresh empty folder.
std::string Folder(const std::string& name) {
  std::string folder = ScratchPath(name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

TEST(RecordingFileTest, NamesCarryTheStartTimeAndTheCleanedNameWithinTheFileSystemLimit) {
  EXPECT_EQ(RecordingBaseName(At(2025, 3, 2, 9, 5), "\"Alice\" 555-1234"), "2025-03-02 09-05 Alice 555-1234");
  EXPECT_EQ(CleanRecordingName("a\"b*c.d/e:f<g>h?i\\j|k\x01\x1fl \xC3\xA9!"), "abcdefghijkl \xC3\xA9!");
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "\xC3\xA9";  // two bytes each
  const std::pair<int, const char*> copies[] = {{1, ".wav"}, {2, " (2).wav"}, {12, " (12).wav"}};
  for (auto [copy, tail] : copies) {
    std::string name = RecordingFileName("x" + longName, copy);
    EXPECT_LE(name.size(), kMaxFileNameBytes) << copy;
    EXPECT_GE(name.size(), kMaxFileNameBytes - 1) << copy;
    EXPECT_TRUE(name.ends_with(tail)) << copy;
    EXPECT_TRUE(platform::IsValidUtf8(name)) << copy;
  }
  EXPECT_EQ(RecordingFileName("short", 3), "short (3).wav");
}

TEST(RecordingFileTest, ATakenNameGetsTheNextNumberAndTheOlderFileIsKept) {
  const std::string folder = Folder("collide");
  std::vector<std::int32_t> tone(100, 1600);
  std::vector<std::string> paths;
  for (int i = 0; i < 3; ++i) {
    auto sink = WavRecordingSink::Open(folder, "2025-03-02 09-05 Alice", nullptr);
    ASSERT_TRUE(sink->IsOpen());
    if (i == 0) sink->Write(tone);
    sink->Close();
    paths.push_back(sink->Target().where);
  }
  EXPECT_EQ(paths, (std::vector<std::string>{folder + "/2025-03-02 09-05 Alice.wav",
                                             folder + "/2025-03-02 09-05 Alice (2).wav",
                                             folder + "/2025-03-02 09-05 Alice (3).wav"}));
  EXPECT_EQ(std::filesystem::file_size(paths[0]), 46u + 200u);
}

TEST(RecordingFileTest, AFileThatCannotBeMadeIsLoggedAndTheSinkDiscards) {
  corvina::testing::RecordingLog log;
  const std::string folder = ScratchPath("no-such-folder/below");
  auto sink = WavRecordingSink::Open(folder, "x", &log);
  EXPECT_FALSE(sink->IsOpen());
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0], std::make_pair("Unable to open file: " + folder + "/x.wav", 1));
  std::vector<std::int32_t> block(9000, 16);
  sink->Write(block);
  sink->Close();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(RecordingFileTest, TheFileIsReadableAtEveryMomentAndCompleteWhenClosed) {
  const std::string folder = Folder("killed");
  auto sink = WavRecordingSink::Open(folder, "call", nullptr);
  const std::string path = sink->Target().where;
  std::vector<std::int32_t> block(160);
  std::size_t written = 0;
  for (int i = 0; i < 120; ++i) {
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::int32_t>((written + k) % 1000) * 16;
    sink->Write(block);
    written += block.size();
    // What a killed phone would leave now: every full buffer so far, with its true size.
    std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    WavHeaderResult now = ParseWavHeader(bytes, bytes.size());
    ASSERT_EQ(now.error, WavError::kNone) << written;
    EXPECT_EQ(now.layout.dataBytes, 2 * (written / WavRecordingSink::kBufferSamples * WavRecordingSink::kBufferSamples));
    if (written == 160 * 3) {
      // Before the first full buffer the header says "length unknown": cut anywhere, it parses.
      bytes.resize(46 + 2 * 160 * 3, 0x11);
      for (std::size_t cut = 46; cut <= bytes.size(); ++cut) {
        WavHeaderResult part = ParseWavHeader(std::span(bytes.data(), cut), cut);
        ASSERT_EQ(part.error, WavError::kNone) << cut;
        EXPECT_EQ(part.layout.dataBytes, (cut - 46) / 2 * 2) << cut;
      }
    }
  }
  sink->Close();
  WavReader reader;
  ASSERT_EQ(reader.Open(path), WavError::kNone);
  ASSERT_EQ(reader.FrameCount(), written);
  std::vector<std::int32_t> back(written);
  ASSERT_EQ(reader.ReadMono(back), written);
  EXPECT_EQ(back[999], 999 * 16);
  EXPECT_EQ(back[written - 1], static_cast<std::int32_t>((written - 1) % 1000) * 16);
}

}  // namespace
}  // namespace corvina::media
