// The user-interface loops: the hand-driven one for tests and the console phone's poll loop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless_loop.h"
#include "platform/manual_loop.h"

namespace corvina::platform {
namespace {

using namespace std::chrono_literals;

TEST(ManualUiQueue, RunsTasksInOrderIncludingThoseTheyPost) {
  ManualUiQueue q;
  std::string trace;
  q.Post([&] {
    trace += 'a';
    q.Post([&] { trace += 'c'; });
  });
  q.Post([&] { trace += 'b'; });
  EXPECT_EQ(q.RunPending(), 3);
  EXPECT_EQ(trace, "abc");
}

TEST(ManualUiQueue, ASelfRepostingTaskCannotHangTheTest) {
  ManualUiQueue q;
  std::function<void()> again = [&] { q.Post(again); };
  q.Post(again);
  EXPECT_EQ(q.RunPending(50), 50);
  EXPECT_EQ(q.PendingCount(), 1u);
}

TEST(ManualTimerHost, TimersAreOneShotAndFireInDeadlineOrder) {
  ManualTimerHost timers;
  std::vector<int> fired;
  timers.SetTimer(1, 300, [&] { fired.push_back(1); });
  timers.SetTimer(2, 100, [&] { fired.push_back(2); });
  timers.Advance(99);
  EXPECT_TRUE(fired.empty());
  timers.Advance(1);
  EXPECT_EQ(fired, std::vector<int>{2});
  EXPECT_FALSE(timers.IsArmed(2));
  timers.Advance(1000);
  EXPECT_EQ(fired, (std::vector<int>{2, 1}));
}

TEST(ManualTimerHost, SettingAnIdAgainReArmsAndAHandlerCanRepeat) {
  ManualTimerHost timers;
  int blinks = 0;
  std::function<void()> blink = [&] {
    ++blinks;
    if (blinks < 3) timers.SetTimer(7, 500, blink);
  };
  timers.SetTimer(7, 500, blink);
  timers.SetTimer(7, 500, blink);  // re-arm, not a second timer
  timers.Advance(5000);
  EXPECT_EQ(blinks, 3);
  timers.SetTimer(8, 10, [&] { blinks = 100; });
  timers.KillTimer(8);
  timers.Advance(100);
  EXPECT_EQ(blinks, 3);
}

TEST(HeadlessLoop, RunsPostedTasksFromOtherThreadsAndQuits) {
  HeadlessLoop loop;
  std::atomic<int> count{0};
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) loop.Post([&] { ++count; });
    loop.Post([&] { loop.Quit(7); });
  });
  EXPECT_EQ(loop.Run(), 7);
  poster.join();
  EXPECT_EQ(count.load(), 100);
}

TEST(HeadlessLoop, FiresTimersAndWatchedDescriptors) {
  HeadlessLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string got;
  loop.WatchFd(fds[0], [&] {
    char buf[16];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    loop.SetTimer(2, 20, [&] { loop.Quit(0); });
  });
  loop.SetTimer(1, 10, [&] { ASSERT_EQ(write(fds[1], "hi", 2), 2); });
  loop.SetTimer(3, 60000, [&] { loop.Quit(1); });  // a guard that must not fire
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(got, "hi");
  close(fds[0]);
  close(fds[1]);
}

TEST(HeadlessLoop, AKilledTimerDoesNotFire) {
  HeadlessLoop loop;
  bool fired = false;
  loop.SetTimer(1, 10, [&] { fired = true; });
  loop.KillTimer(1);
  loop.SetTimer(2, 40, [&] { loop.Quit(0); });
  loop.Run();
  EXPECT_FALSE(fired);
}

}  // namespace
}  // namespace corvina::platform
