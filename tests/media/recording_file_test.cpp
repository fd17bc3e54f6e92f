// Recording files: names from the start time and the cleaned recording name, cut to 255 bytes
// on a character boundary, never overwriting an older recording, the log line and silence when
// no file can be made, and a file readable at every moment (a killed phone leaves a valid one).
#include <gtest/gtest.h>

#include <filesystem>

#include "media/recording_file.h"
#include "platform/text.h"
#include "tests/app/recording_log.h"
#include "tests/media/support/test_audio.h"

namespace corvina::media {
namespace {

using testing::ScratchPath;

TEST(RecordingFileTest, NamesCarryTheStartTimeAndTheCleanedNameWithinTheFileSystemLimit) {
  std::tm t{};
  t.tm_year = 125, t.tm_mon = 2, t.tm_mday = 2, t.tm_hour = 9, t.tm_min = 5;
  EXPECT_EQ(RecordingBaseName(t, "\"Alice\" 555-1234"), "2025-03-02 09-05 Alice 555-1234");
  EXPECT_EQ(CleanRecordingName("a\"b*c.d/e:f<g>h?i\\j|k\x01\x1fl \xC3\xA9!"), "abcdefghijkl \xC3\xA9!");
  std::string longName = "x";
  for (int i = 0; i < 200; ++i) longName += "\xC3\xA9";  // two bytes each
  for (auto [copy, tail] : {std::pair{1, ".wav"}, {2, " (2).wav"}, {12, " (12).wav"}}) {
    std::string name = RecordingFileName(longName, copy);
    EXPECT_TRUE(name.size() >= kMaxFileNameBytes - 1 && name.size() <= kMaxFileNameBytes) << copy;
    EXPECT_TRUE(name.ends_with(tail) && platform::IsValidUtf8(name)) << copy;
  }
}

// A fresh empty folder.
std::string Folder(const char* name) {
  std::filesystem::remove_all(ScratchPath(name));
  std::filesystem::create_directories(ScratchPath(name));
  return ScratchPath(name);
}

TEST(RecordingFileTest, ATakenNameGetsTheNextNumberAndAFolderThatFailsIsLogged) {
  const std::string folder = Folder("collide");
  std::vector<std::int32_t> tone(100, 1600);
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    auto sink = WavRecordingSink::Open(folder, "Alice", nullptr);
    if (i == 0) sink->Write(tone);
    sink->Close();
    names.push_back(std::filesystem::path(sink->Target().where).filename());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alice.wav", "Alice (2).wav", "Alice (3).wav"}));
  EXPECT_EQ(std::filesystem::file_size(folder + "/Alice.wav"), 46u + 200u) << "not overwritten";

  corvina::testing::RecordingLog log;
  auto lost = WavRecordingSink::Open(folder + "/missing", "x", &log);
  lost->Write(tone);
  lost->Close();
  EXPECT_EQ(log.entries, (decltype(log.entries){{"Unable to open file: " + folder + "/missing/x.wav", 1}}));
  EXPECT_FALSE(std::filesystem::exists(folder + "/missing"));
}

TEST(RecordingFileTest, TheFileIsReadableAtEveryMomentAndCompleteWhenClosed) {
  auto sink = WavRecordingSink::Open(Folder("killed"), "call", nullptr);
  const std::string path = sink->Target().where;
  std::vector<std::int32_t> block(160);
  std::size_t written = 0;
  for (int i = 0; i < 120; ++i, written += block.size()) {
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::int32_t>((written + k) % 1000) * 16;
    sink->Write(block);
    // What a phone killed now leaves: every full buffer so far, under its true size.
    std::vector<std::uint8_t> bytes = testing::ReadFileBytes(path);
    const std::size_t flushed = (written + 160) / WavRecordingSink::kBufferSamples * WavRecordingSink::kBufferSamples;
    WavHeaderResult now = ParseWavHeader(bytes, bytes.size());
    ASSERT_EQ(now.error, WavError::kNone) << written;
    EXPECT_EQ(now.layout.dataBytes, 2 * flushed) << written;
    if (flushed == 0) {
      // Before that the header says "length unknown": cut anywhere, the data runs to the cut.
      bytes.resize(46 + 2 * written + 320, 0x11);
      for (std::size_t cut = 46; cut <= bytes.size(); ++cut) {
        ASSERT_EQ(ParseWavHeader(std::span(bytes.data(), cut), cut).layout.dataBytes, (cut - 46) / 2 * 2) << cut;
      }
    }
  }
  sink->Close();
  WavReader reader;
  ASSERT_EQ(reader.Open(path), WavError::kNone);
  std::vector<std::int32_t> back(written);
  ASSERT_EQ(reader.ReadMono(back), written);
  EXPECT_EQ(back[999], 999 * 16);
  EXPECT_EQ(back[written - 1], static_cast<std::int32_t>((written - 1) % 1000) * 16);
}

}  // namespace
}  // namespace corvina::media
