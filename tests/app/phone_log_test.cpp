// The phone log:
// - rows are byte-exact UTF-16LE without a byte-order mark, CR LF, no header, in the file of
//   the call's starting month;
// - durations count hold time, an open hold period included, never go negative, and a
//   line's next call does not inherit the last call's times;
// - quotes and line breaks in a caller's name or address cannot forge fields or rows;
// - the line is wound down after its row is written, in a fixed order.
#include "app/logs/phone_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/controller/call_end.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace corvina::app {
namespace {

// 2026-03-14 23:59:00 UTC (the fake clock's local time is UTC).
constexpr std::time_t kStart = 1773532740;

class PhoneLogTest : public ::testing::Test {
 protected:
  std::string Read(const char* month) {
    std::ifstream in(folder_.Sub(std::string(month) + " Phone Log.csv"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  corvina::testing::TempFolder folder_{"phonelog"};
  platform::FakeWallClock clock_{kStart};
  PhoneLog log_{folder_.Path().string(), clock_};
  CallTiming timing_;
};

TEST_F(PhoneLogTest, RowsAreByteExactUtf16WithHoldTimeAndTheStartingMonthsFile) {
  timing_.Connected(clock_.Now());
  clock_.Advance(30);
  timing_.HoldStarted(clock_.Now());
  clock_.Advance(20);
  timing_.Retrieved(clock_.Now());
  clock_.Advance(11);
  ASSERT_TRUE(log_.WritePhoneLog(timing_, "sip:ann@10.0.0.5", "Ann"));

  // Never connected: start equals end; ends in April, so no row goes to March.
  clock_.Set(1775001600);  // 2026-04-01 00:00:00
  ASSERT_TRUE(log_.WritePhoneLog(timing_, "sip:201@pbx", ""));

  const std::string march = "2026-03-14, 23:59:00, 01:01, 00:41, 00:20, \"sip:ann@10.0.0.5\",\"Ann\"\r\n";
  EXPECT_EQ(Read("2026-03"), platform::ToUtf16Le(march));
  EXPECT_EQ(Read("2026-04"), platform::ToUtf16Le("2026-04-01, 00:00:00, 00:00, 00:00, 00:00, \"sip:201@pbx\",\"\"\r\n"));
  // Two bytes per character, no byte-order mark.
  ASSERT_EQ(Read("2026-03").size(), 2 * march.size());
  EXPECT_EQ(Read("2026-03").substr(0, 4), std::string("2\0000\000", 4));
}

TEST_F(PhoneLogTest, DurationsAreNeverNegativeAndCountAnOpenHold) {
  struct Case {
    const char* what;
    std::int64_t connectAt, holdAt, retrieveAt, endAt;  // -1 = never
    const char* durations;
  };
  const Case cases[] = {
      {"ended while held", 0, 100, -1, 160, "02:40, 01:40, 01:00"},
      {"125 minutes", 0, -1, -1, 125 * 60 + 7, "125:07, 125:07, 00:00"},
      {"clock set back", 0, -1, -1, -40, "00:00, 00:00, 00:00"},
      {"set back while held", 0, 50, -1, 20, "00:20, 00:20, 00:00"},
  };
  for (const Case& c : cases) {
    CallTiming t;
    t.Connected(kStart + c.connectAt);
    if (c.holdAt >= 0) t.HoldStarted(kStart + c.holdAt);
    if (c.retrieveAt >= 0) t.Retrieved(kStart + c.retrieveAt);
    std::tm start = clock_.LocalTime(kStart);
    std::string row = PhoneLog::FormatRow(start, t.Finish(kStart + c.endAt), "a", "n");
    EXPECT_EQ(row.substr(22, std::string(c.durations).size()), c.durations) << c.what << ": " << row;
  }
}

TEST_F(PhoneLogTest, ALinesNextCallDoesNotInheritTheLastCallsTimes) {
  timing_.Connected(clock_.Now());
  timing_.HoldStarted(clock_.Now());
  clock_.Advance(3600);
  log_.WritePhoneLog(timing_, "sip:a@h", "A");
  EXPECT_EQ(timing_.Start(), 0);
  EXPECT_FALSE(timing_.Held());
  clock_.Advance(5);
  log_.WritePhoneLog(timing_, "sip:b@h", "B");  // never connected
  EXPECT_EQ(Read("2026-03"), platform::ToUtf16Le("2026-03-14, 23:59:00, 60:00, 00:00, 60:00, \"sip:a@h\",\"A\"\r\n"
                                                 "2026-03-15, 00:59:05, 00:00, 00:00, 00:00, \"sip:b@h\",\"B\"\r\n"));
}

TEST_F(PhoneLogTest, CallerTextsCannotForgeFieldsOrRows) {
  std::tm start = clock_.LocalTime(kStart);
  CallDurations d{kStart, 0, 0, 0};
  const std::pair<const char*, const char*> cases[][2] = {
      {{"sip:a@h", "Ann"}, {"\"sip:a@h\",\"Ann\"\r\n", nullptr}},
      {{"sip:a@h", "Ann\",\"x"}, {"\"sip:a@h\",\"Ann\"\",\"\"x\"\r\n", nullptr}},
      {{"sip:a@h", "A\r\n2026-01-01, 00:00:00, 99:99"}, {"\"sip:a@h\",\"A  2026-01-01, 00:00:00, 99:99\"\r\n", nullptr}},
      {{"sip:\"a\"@h", "Zo\xC3\xAB \xF0\x9F\x93\x9E"}, {"\"sip:\"\"a\"\"@h\",\"Zo\xC3\xAB \xF0\x9F\x93\x9E\"\r\n", nullptr}},
  };
  for (const auto& c : cases) {
    std::string row = PhoneLog::FormatRow(start, d, c[0].first, c[0].second);
    EXPECT_EQ(row.substr(43), c[1].first) << c[0].second;
    EXPECT_EQ(row.find("\r\n"), row.size() - 2);
  }
}

class RecordingSteps final : public CallEndSteps {
 public:
  explicit RecordingSteps(std::function<bool()> rowWritten) : rowWritten_(std::move(rowWritten)) {}
  void ClearAnsweredAndHold() override { Note("clear"); }
  void EndOfCall() override { Note("end"); }
  void CloseIntercom() override { Note("intercom"); }
  void StopRecording() override { Note("recording"); }
  void StopPrivateTimer() override { Note("timer"); }
  void LeaveConference() override { Note("conference"); }
  void DropConsultPeer() override { Note("peer"); }
  std::vector<std::string> steps;

 private:
  void Note(const char* step) { steps.push_back(rowWritten_() ? step : std::string("before row: ") + step); }
  std::function<bool()> rowWritten_;
};

TEST_F(PhoneLogTest, TheLineIsWoundDownAfterItsRowInOrder) {
  RecordingSteps steps([this] { return !Read("2026-03").empty(); });
  FinishCall(log_, timing_, "sip:a@h", "A", steps);
  EXPECT_EQ(steps.steps,
            (std::vector<std::string>{"clear", "end", "intercom", "recording", "timer", "conference", "peer"}));
}

}  // namespace
}  // namespace corvina::app
