// The activity log's files and the status window's ring.
#include "app/logs/activity_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// 2026-03-14 23:59:58 UTC; the fake clock's local time is UTC.
constexpr std::time_t kBeforeMidnight = 1773532798;

class ActivityLogTest : public ::testing::Test {
 protected:
  std::string LogFile(const char* day) const {
    return (docs_ / "Corvina" / "Logs" / (std::string(day) + " Corvina Log.txt")).string();
  }

  corvina::testing::TempFolder folder_{"log"};
  std::filesystem::path docs_ = folder_.Path() / "Documents";
  std::filesystem::path data_ = docs_ / "Corvina";
  platform::FakeWallClock clock_{kBeforeMidnight};
};

TEST_F(ActivityLogTest, CreatesTheFoldersAndWritesStampedCrLfLines) {
  ActivityLog log(data_.string(), clock_);
  EXPECT_TRUE(std::filesystem::is_directory(docs_ / "Corvina" / "Logs"));
  log.Log("Corvina Run", platform::kLogInfo);
  log.Log("", platform::kLogInfo);  // an empty message still makes a line
  EXPECT_EQ(ReadFile(LogFile("2026-03-14")), "23:59:58 Corvina Run\r\n23:59:58 \r\n");
}

TEST_F(ActivityLogTest, TheFirstEntryAfterMidnightStartsTheNewDaysFile) {
  ActivityLog log(data_.string(), clock_);
  log.Log("one", platform::kLogInfo);
  clock_.Advance(1);
  log.Log("two", platform::kLogError);
  clock_.Advance(1);  // 00:00:00 of the next day
  log.Log("three", platform::kLogInfo);
  EXPECT_EQ(ReadFile(LogFile("2026-03-14")), "23:59:58 one\r\n23:59:59 two\r\n");
  EXPECT_EQ(ReadFile(LogFile("2026-03-15")), "00:00:00 three\r\n");
}

TEST_F(ActivityLogTest, TextOutsideAsciiIsStoredAsUtf8AndMalformedBytesAreReplaced) {
  ActivityLog log(data_.string(), clock_);
  log.Log("Appel de Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x93\x9E", platform::kLogInfo);
  log.Log("bad \xFF byte", platform::kLogInfo);
  std::string text = ReadFile(LogFile("2026-03-14"));
  EXPECT_EQ(text, "23:59:58 Appel de Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x93\x9E\r\n23:59:58 bad \xEF\xBF\xBD byte\r\n");
  EXPECT_TRUE(platform::IsValidUtf8(text));
}

TEST_F(ActivityLogTest, AnOverlongEntryIsCutButStillEndsItsLine) {
  ActivityLog log(data_.string(), clock_);
  std::string huge;
  for (int i = 0; i < 5000; ++i) huge += "\xC3\xA9";  // 10000 bytes, 5000 characters
  huge += std::string(5000, 'x');
  log.Log(huge, platform::kLogInfo);
  log.Log("next", platform::kLogInfo);
  std::string text = ReadFile(LogFile("2026-03-14"));
  std::size_t firstEnd = text.find("\r\n");
  ASSERT_NE(firstEnd, std::string::npos);
  EXPECT_LE(firstEnd + 2, 8191u);
  EXPECT_TRUE(platform::IsValidUtf8(text));
  EXPECT_EQ(text.substr(firstEnd + 2), "23:59:58 next\r\n");
}

TEST_F(ActivityLogTest, LogFormatFormatsAndCutsAt511Characters) {
  ActivityLog log(data_.string(), clock_);
  log.LogFormat(platform::kLogError, "Registration failed: %d %s", 403, "Forbidden");
  log.LogFormat(platform::kLogInfo, "%s", std::string(600, 'y').c_str());
  std::string text = ReadFile(LogFile("2026-03-14"));
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "23:59:58 Registration failed: 403 Forbidden");
  std::string second = text.substr(text.find("\r\n") + 2);
  EXPECT_EQ(second, "23:59:58 " + std::string(511, 'y') + "\r\n");
}

TEST_F(ActivityLogTest, EntriesReachTheAttachedStatusWindowEvenWhenTheFileCannotBeWritten) {
  std::filesystem::create_directories(docs_);
  // A file where the Corvina folder should be: no log folder can be made.
  std::ofstream(docs_ / "Corvina") << "in the way";
  ActivityLog log(data_.string(), clock_);
  StatusWindow ring;
  log.AttachStatusWindow(&ring);
  log.Log("server down", platform::kLogError);
  ASSERT_EQ(ring.Count(), 1u);
  EXPECT_EQ(ring.Entries()[0].message, "server down");
  EXPECT_EQ(ring.Entries()[0].timeText, "23:59:58");
  EXPECT_EQ(ring.Entries()[0].level, platform::kLogError);
  log.DetachStatusWindow();
  log.Log("after detach", platform::kLogInfo);
  EXPECT_EQ(ring.Count(), 1u);
}

TEST_F(ActivityLogTest, ManyThreadsNeverInterleaveWithinALine) {
  ActivityLog log(data_.string(), clock_);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&log, t] {
      for (int i = 0; i < 200; ++i) log.Log("writer " + std::to_string(t) + " entry " + std::to_string(i), 0);
    });
  }
  for (auto& w : writers) w.join();
  std::ifstream in(LogFile("2026-03-14"), std::ios::binary);
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r');
    EXPECT_EQ(line.rfind("23:59:58 writer ", 0), 0u) << line;
    ++lines;
  }
  EXPECT_EQ(lines, 800);
}

TEST(StatusWindow, The129thEntryReplacesTheOldest) {
  StatusWindow ring;
  for (int i = 0; i < 128; ++i) ring.AddEntry("12:00:00", "entry " + std::to_string(i), 0);
  EXPECT_EQ(ring.Count(), 128u);
  EXPECT_EQ(ring.Entries().front().message, "entry 0");
  ring.AddEntry("12:00:01", "entry 128", 1);
  auto entries = ring.Entries();
  ASSERT_EQ(entries.size(), 128u);
  EXPECT_EQ(entries.front().message, "entry 1");
  EXPECT_EQ(entries.back().message, "entry 128");
  EXPECT_EQ(entries.back().level, 1);
  for (int i = 0; i < 300; ++i) ring.AddEntry("12:00:02", "more", 0);
  EXPECT_EQ(ring.Count(), 128u);
}

TEST(StatusWindow, MessagesAreCutAt259CharactersOnACharacterBoundary) {
  StatusWindow ring;
  std::string message(258, 'a');
  message += "\xF0\x9F\x93\x9E";  // would need units 259 and 260
  ring.AddEntry("00:00:00", message, 0);
  EXPECT_EQ(ring.Entries()[0].message, std::string(258, 'a'));
}

}  // namespace
}  // namespace corvina::app
