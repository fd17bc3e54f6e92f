// A send on its worker thread shown in the progress window: texts, bar and error reach the
// window in order, notes reach the activity log at level 1, and closing the window stops the
// send and gives "cancelled".
#include <gtest/gtest.h>

#include "app/mail_progress.h"
#include "app/progress/fake_progress.h"
#include "tests/app/recording_log.h"

namespace corvina::app {
namespace {

TEST(MailProgress, WorkerUpdatesReachTheWindowAndLogAndCancelStopsTheSend) {
  struct { bool cancel; mail::MailResult expected; std::vector<std::string> errors; } cases[] = {
      {false, mail::MailResult::kFailed, {"Mail server not responding"}},
      {true, mail::MailResult::kCancelled, {}},
  };
  for (const auto& c : cases) {
    platform::FakeTickClock clock(0);
    FakeProgressWindow window(clock);
    if (c.cancel) window.CancelAt(1000);
    testing::RecordingLog log;
    const mail::MailResult result = RunMailInProgress(&window, &log, [&](mail::MailProgress& p, platform::Event* stop) {
      p.SetText("Logon to server", 1);
      p.SetFraction(0.2);
      p.LogNote("AUTH LOGIN in clear");
      if (c.cancel) {
        platform::WaitForAny(std::array{platform::WaitSource::Of(*stop)}, 10000);
        return stop->IsSet() ? mail::MailResult::kCancelled : mail::MailResult::kDone;
      }
      p.ReportError("Mail server not responding");
      return mail::MailResult::kFailed;
    });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(window.title, kSendingEmailTitle);
    EXPECT_EQ(window.errors, c.errors);
    if (c.cancel) continue;  // the window may close before the worker's first update
    EXPECT_EQ(window.lines[1], "Logon to server");
    EXPECT_EQ(window.barPositions, std::vector<int>{20});
    EXPECT_EQ(log.entries, (std::vector<std::pair<std::string, int>>{{"AUTH LOGIN in clear", 1}}));
  }
}

}  // namespace
}  // namespace corvina::app
