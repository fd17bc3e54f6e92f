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

TEST(ManualUiLoop, RunsTasksInOrderIncludingThoseTheyPost) {
  UiPostbox q;
  ManualUiLoop loop(q);
  std::string trace;
  q.Post([&] {
    trace += 'a';
    q.Post([&] { trace += 'c'; });
  });
  q.Post([&] { trace += 'b'; });
  EXPECT_EQ(loop.RunPending(), 3);
  EXPECT_EQ(trace, "abc");
}

TEST(ManualUiLoop, ASelfRepostingTaskCannotHangTheTest) {
  UiPostbox q;
  ManualUiLoop loop(q);
  std::function<void()> again = [&] { q.Post(again); };
  q.Post(again);
  EXPECT_EQ(loop.RunPending(50), 50);
  EXPECT_EQ(loop.PendingCount(), 1u);
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
  UiPostbox postbox;
  HeadlessLoop loop;
  ASSERT_TRUE(loop.Attach(postbox));
  std::atomic<int> count{0};
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) postbox.Post([&] { ++count; });
    postbox.Post([&] { loop.Quit(7); });
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

TEST(HeadlessLoop, AFloodOfPostsCannotStarveTimersOrDescriptors) {
  UiPostbox postbox;
  HeadlessLoop loop;
  ASSERT_TRUE(loop.Attach(postbox));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  // A task that reposts itself at once, like a level meter gone wild; it gives up (and fails
  // the test) only if nothing else ever gets a turn.
  int floods = 0;
  std::function<void()> flood = [&] {
    if (++floods == 100000) {
      loop.Quit(1);
      return;
    }
    postbox.Post(flood);
  };
  postbox.Post(flood);
  bool readable = false;
  loop.WatchFd(fds[0], [&] {
    char c;
    readable = read(fds[0], &c, 1) == 1;
    loop.UnwatchFd(fds[0]);
  });
  // The timer waits for the descriptor's turn, which comes after the timers' in a round.
  std::function<void()> check = [&] {
    if (readable) {
      loop.Quit(0);
    } else {
      loop.SetTimer(1, 0, check);
    }
  };
  loop.SetTimer(1, 0, check);
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_LT(floods, 100);
  close(fds[0]);
  close(fds[1]);
}

#ifndef NDEBUG
// Timers belong to the loop's thread in every implementation; debug builds stop a caller from
// elsewhere.
TEST(TimerHostDeathTest, TimersRefuseCallsFromAnotherThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto fromOtherThread = [](TimerHost& timers) {
    std::thread other([&] { timers.SetTimer(1, 10, [] {}); });
    other.join();
  };
  HeadlessLoop loop;
  ManualTimerHost manual;
  EXPECT_DEATH(fromOtherThread(loop), "owning thread");
  EXPECT_DEATH(fromOtherThread(manual), "owning thread");
}
#endif

}  // namespace
}  // namespace corvina::platform
