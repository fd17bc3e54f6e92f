// One nested round of the console loop, as a progress window's wait runs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/headless_loop.h"

namespace corvina::platform {
namespace {

TEST(HeadlessLoopRound, ReadySourceWinsThenInputIsServedThenTimesOut) {
  UiPostbox postbox;
  HeadlessLoop loop;
  ASSERT_TRUE(loop.Attach(postbox));
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  int served = 0, tasks = 0;
  loop.WatchFd(pipeFds[0], [&] {
    char c;
    ASSERT_EQ(read(pipeFds[0], &c, 1), 1);
    ++served;
  });
  Event a, b;
  const WaitSource sources[] = {WaitSource::Of(a), WaitSource::Of(b)};
  ASSERT_EQ(write(pipeFds[1], "x", 1), 1);
  postbox.Post([&] { ++tasks; });
  b.Set();
  // Signalled before the wait: nothing else is served, and the event is consumed.
  EXPECT_EQ(loop.WaitRound(sources, 10000), 1);
  EXPECT_FALSE(b.IsSet());
  EXPECT_EQ(served + tasks, 0);
  EXPECT_EQ(loop.WaitRound(sources, 10000), HeadlessLoop::kRoundServed);
  EXPECT_EQ(served, 1);
  EXPECT_EQ(tasks, 1);
  EXPECT_EQ(loop.WaitRound(sources, 0), kWaitTimedOut);
  EXPECT_EQ(loop.WaitRound(sources, 1), kWaitTimedOut);
  loop.UnwatchFd(pipeFds[0]);
  close(pipeFds[0]);
  close(pipeFds[1]);
}

}  // namespace
}  // namespace corvina::platform
