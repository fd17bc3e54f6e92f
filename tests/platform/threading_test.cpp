// Events, the multi-wait, worker threads and the worker registry.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/event.h"
#include "platform/worker_thread.h"

namespace corvina::platform {
namespace {

using namespace std::chrono_literals;

TEST(Event, AutoResetIsConsumedByTheWaitThatSeesIt) {
  Event e;
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), kWaitTimedOut);
  e.Set();
  e.Set();  // two sets before a wait still wake it once
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), 0);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), kWaitTimedOut);
}

TEST(Event, ManualResetStaysSetUntilReset) {
  Event e(Event::Mode::kManualReset, true);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), 0);
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), 0);
  EXPECT_TRUE(e.IsSet());
  e.Reset();
  EXPECT_FALSE(e.IsSet());
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 0), kWaitTimedOut);
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

TEST(WaitForAny, TimesOutAfterAboutTheGivenTime) {
  Event e;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 60), kWaitTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
}

TEST(WaitForAny, WakesWhenAnotherThreadSets) {
  Event e;
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    e.Set();
  });
  EXPECT_EQ(WaitForAny({WaitSource::Of(e)}, 10000), 0);
  setter.join();
}

TEST(WaitForAny, AnAutoEventWakesOnlyOneOfTwoWaiters) {
  Event e;
  std::atomic<int> woken{0};
  auto waiter = [&] {
    if (WaitForAny({WaitSource::Of(e)}, 300) == 0) ++woken;
  };
  std::thread t1(waiter);
  std::thread t2(waiter);
  std::this_thread::sleep_for(30ms);
  e.Set();
  t1.join();
  t2.join();
  EXPECT_EQ(woken.load(), 1);
}

// A worker that loops on its own event and counts what woke it.
class CountingWorker : public WorkerThread {
 public:
  CountingWorker() : WorkerThread("counting") {}
  ~CountingWorker() override { StopAndJoin(); }
  Event work;
  std::atomic<int> signalled{0};
  std::atomic<int> timeouts{0};
  std::atomic<bool> sawStop{false};

 protected:
  void Run() override {
    for (;;) {
      switch (Wait(work, 20)) {
        case WaitOutcome::kSignalled:
          ++signalled;
          break;
        case WaitOutcome::kTimedOut:
          ++timeouts;
          break;
        default:
          sawStop = true;
          return;
      }
    }
  }
};

TEST(WorkerThread, WaitReportsHandleTimeoutAndStop) {
  CountingWorker w;
  ASSERT_TRUE(w.Start());
  EXPECT_FALSE(w.Start());
  w.work.Set();
  for (int i = 0; i < 500 && (w.signalled == 0 || w.timeouts == 0); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(w.signalled.load(), 1);
  EXPECT_GE(w.timeouts.load(), 1);
  w.StopAndJoin();
  EXPECT_TRUE(w.sawStop.load());
  EXPECT_FALSE(w.IsRunning());
}

// A worker that sleeps for a long time: stopping must cut the sleep short.
class SleepyWorker : public WorkerThread {
 public:
  SleepyWorker() : WorkerThread("sleepy") {}
  ~SleepyWorker() override { StopAndJoin(); }
  std::atomic<bool> sleptFully{true};

 protected:
  void Run() override { sleptFully = Sleep(60000); }
};

TEST(WorkerThread, StopInterruptsSleep) {
  SleepyWorker w;
  ASSERT_TRUE(w.Start());
  std::this_thread::sleep_for(10ms);
  auto start = std::chrono::steady_clock::now();
  w.StopAndJoin();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(w.sleptFully.load());
}

TEST(WorkerThread, CanRunAgainAfterAStop) {
  SleepyWorker w;
  ASSERT_TRUE(w.Start());
  w.StopAndJoin();
  ASSERT_TRUE(w.Start());
  w.StopAndJoin();
  EXPECT_FALSE(w.sleptFully.load());
  EXPECT_FALSE(w.IsRunning());
}

// Records its destruction so the registry's clean-up can be seen.
class TrackedWorker : public WorkerThread {
 public:
  explicit TrackedWorker(std::atomic<int>* destroyed) : WorkerThread("tracked"), destroyed_(destroyed) {}
  ~TrackedWorker() override {
    StopAndJoin();
    ++*destroyed_;
  }

 protected:
  void Run() override {
    while (Sleep(60000)) {
    }
  }

 private:
  std::atomic<int>* destroyed_;
};

TEST(WorkerRegistry, StopAllStopsJoinsAndDeletesEveryWorker) {
  std::atomic<int> destroyed{0};
  WorkerRegistry registry;
  for (int i = 0; i < 4; ++i) {
    auto w = std::make_unique<TrackedWorker>(&destroyed);
    if (i != 3) {  // one is never started
      ASSERT_TRUE(w->Start());
    }
    registry.Add(std::move(w));
  }
  EXPECT_EQ(registry.Count(), 4u);
  auto start = std::chrono::steady_clock::now();
  registry.StopAll();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(registry.Count(), 0u);
  EXPECT_EQ(destroyed.load(), 4);
}

TEST(WorkerRegistry, WorkersMayBeAddedFromManyThreads) {
  std::atomic<int> destroyed{0};
  {
    WorkerRegistry registry;
    std::vector<std::thread> adders;
    for (int t = 0; t < 4; ++t) {
      adders.emplace_back([&] {
        for (int i = 0; i < 5; ++i) {
          auto w = std::make_unique<TrackedWorker>(&destroyed);
          w->Start();
          registry.Add(std::move(w));
        }
      });
    }
    for (auto& t : adders) t.join();
    EXPECT_EQ(registry.Count(), 20u);
  }  // the destructor stops them all
  EXPECT_EQ(destroyed.load(), 20);
}

}  // namespace
}  // namespace corvina::platform
