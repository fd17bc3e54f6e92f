// Events and the multi-wait.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <new>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "tests/support/blocked_in.h"

// Counts the calling thread's heap allocations, so that a test can show a wait makes none.
namespace {
thread_local long allocationCount = 0;
}
void* operator new(std::size_t size) {
  ++allocationCount;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace corvina::platform {
namespace {

using corvina::testing::kWaitCalls;
using corvina::testing::WaitUntilBlockedIn;

TEST(Event, AutoResetIsConsumedByTheWaitThatSeesItAndAnUnsetOneTimesOut) {
  Event e;
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 30), kWaitTimedOut);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), kWaitTimedOut);
  e.Set();
  e.Set();  // two sets before a wait still wake it once
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), 0);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), kWaitTimedOut);
}

TEST(Event, ManualResetStaysSetUntilResetAndNegativeTimeOutsButTheInfiniteAreRefused) {
  Event e(Event::Mode::kManualReset, true);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, -2), kWaitFailed);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, kWaitInfinite), 0);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), 0);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), 0);
  EXPECT_TRUE(e.IsSet());
  e.Reset();
  EXPECT_FALSE(e.IsSet());
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), kWaitTimedOut);
}

// With no descriptor left, the event says it is unusable and a wait on it fails at once
// instead of sleeping until its time-out (for ever, for an infinite one).
TEST(Event, AnEventWithoutItsKernelObjectIsUnusableAndItsWaitFails) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowestFree = dup(0);
  ASSERT_GE(lowestFree, 0);
  close(lowestFree);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  Event broken;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_FALSE(broken.Usable());
  broken.Set();
  EXPECT_FALSE(broken.IsSet());
  EXPECT_EQ(WaitForAny({WaitSource::Of(broken)}, 2000), kWaitFailed);
  EXPECT_TRUE(Event().Usable());
}

TEST(WaitForAny, ReportsTheReadySourceAmongSeveral) {
  Event a;
  Event b;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  b.Set();
  EXPECT_EQ(WaitForAny({WaitSource::Of(a), WaitSource::Of(b), WaitSource::Readable(fds[0])}, 1000), 1);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_EQ(WaitForAny({WaitSource::Of(a), WaitSource::Of(b), WaitSource::Readable(fds[0])}, 1000), 2);
  close(fds[0]);
  close(fds[1]);
}

TEST(WaitForAny, CoversSixtyFourSourcesAndRefusesMore) {
  std::vector<Event> events(kMaxWaitSources + 1);
  std::vector<WaitSource> sources;
  for (Event& e : events) sources.push_back(WaitSource::Of(e));
  const std::span<const WaitSource> all(sources);
  events[kMaxWaitSources - 1].Set();
  EXPECT_EQ(WaitForAny(all.first(kMaxWaitSources), 0), static_cast<int>(kMaxWaitSources - 1));
  events[kMaxWaitSources - 1].Set();
  EXPECT_EQ(WaitForAny(all, 0), kWaitFailed);
}

TEST(WaitForAny, AllocatesNothing) {
  std::vector<Event> events(kMaxWaitSources);
  std::vector<WaitSource> sources;
  for (Event& e : events) sources.push_back(WaitSource::Of(e));
  events.back().Set();
  const long before = allocationCount;
  const int ready = WaitForAny(sources, 1000);
  const int none = WaitForAny(sources, 0);
  EXPECT_EQ(allocationCount, before);
  EXPECT_EQ(ready, static_cast<int>(kMaxWaitSources - 1));
  EXPECT_EQ(none, kWaitTimedOut);
}

// The waiter is seen blocked inside poll() by the kernel's own account before the event is set;
// only the set can end an infinite wait.
TEST(WaitForAny, AnInfiniteWaitBlocksUntilAnotherThreadSets) {
  Event e;
  std::atomic<pid_t> waiterId{0};
  std::atomic<int> result{kWaitTimedOut - 10};
  std::thread waiter([&] {
    waiterId = gettid();
    result = WaitForAny({WaitSource::Of(e)}, kWaitInfinite);
  });
  while (waiterId.load() == 0) std::this_thread::yield();
  const bool blocked = WaitUntilBlockedIn(getpid(), waiterId.load(), kWaitCalls);
  EXPECT_TRUE(blocked) << "the waiter never blocked";
  EXPECT_EQ(result.load(), kWaitTimedOut - 10) << "the wait returned before the event was set";
  e.Set();
  waiter.join();
  EXPECT_EQ(result.load(), 0);
}

TEST(WaitForAny, AnAutoEventWakesOnlyOneOfTwoWaiters) {
  Event e;
  Event done(Event::Mode::kManualReset);
  std::atomic<int> woken{0};
  std::array<std::atomic<pid_t>, 2> ids{};
  auto waiter = [&](int i) {
    ids[i] = gettid();
    if (WaitForAny({WaitSource::Of(e), WaitSource::Of(done)}, kWaitInfinite) == 0) ++woken;
  };
  std::thread t1(waiter, 0);
  std::thread t2(waiter, 1);
  for (auto& id : ids) {
    while (id.load() == 0) std::this_thread::yield();
    EXPECT_TRUE(WaitUntilBlockedIn(getpid(), id.load(), kWaitCalls));
  }
  e.Set();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (woken.load() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_FALSE(e.IsSet()) << "the wake-up was not consumed";
  done.Set();
  t1.join();
  t2.join();
  EXPECT_EQ(woken.load(), 1);
}

}  // namespace
}  // namespace corvina::platform
