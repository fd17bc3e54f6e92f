// Worker threads: waits, stop, join with a time-out, priorities, ending by themselves, and the
// registry that stops and reaps them.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/worker_thread.h"
#include "tests/support/blocked_in.h"

namespace corvina::platform {
namespace {

using corvina::testing::kWaitCalls;
using corvina::testing::WaitUntilBlockedIn;

// Polls `done` every millisecond until it holds or ten seconds pass.
bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A worker that runs a given body.
class LambdaWorker : public WorkerThread {
 public:
  explicit LambdaWorker(std::function<void(LambdaWorker&)> body) : WorkerThread("lambda"), body_(std::move(body)) {}
  ~LambdaWorker() override { StopAndJoin(); }
  using WorkerThread::Sleep;
  using WorkerThread::Wait;
  using WorkerThread::WaitAny;

 protected:
  void Run() override { body_(*this); }

 private:
  std::function<void(LambdaWorker&)> body_;
};

TEST(WorkerThread, WaitReportsHandleTimeoutAndStop) {
  Event work;
  std::atomic<int> signalled{0};
  std::atomic<int> timeouts{0};
  std::atomic<bool> sawStop{false};
  LambdaWorker w([&](LambdaWorker& self) {
    for (;;) {
      switch (self.Wait(work, 20)) {
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
  });
  ASSERT_TRUE(w.Start());
  EXPECT_FALSE(w.Start());
  work.Set();
  EXPECT_TRUE(Eventually([&] { return signalled > 0 && timeouts > 0; }));
  EXPECT_EQ(signalled.load(), 1);
  w.StopAndJoin();
  EXPECT_TRUE(sawStop.load());
  EXPECT_FALSE(w.IsRunning());
}

TEST(WorkerThread, WaitAnyTakesUpToSixtyThreeSourcesAndStopWinsOverThem) {
  std::vector<Event> events(kMaxWaitSources);
  std::vector<WaitSource> sources;
  for (Event& e : events) sources.push_back(WaitSource::Of(e));
  Event go;
  std::vector<WaitOutcome> outcomes;
  int index = -1;
  LambdaWorker w([&](LambdaWorker& self) {
    const std::span<const WaitSource> all(sources);
    outcomes.push_back(self.WaitAny(all.first(kMaxWaitSources - 1), 0, &index));
    outcomes.push_back(self.WaitAny(all, 0, nullptr));
    WaitForAny({WaitSource::Of(go)}, kWaitInfinite);
    outcomes.push_back(self.WaitAny(all.first(kMaxWaitSources - 1), 0, nullptr));
  });
  events[kMaxWaitSources - 2].Set();
  events[0].Set();
  ASSERT_TRUE(w.Start());
  w.RequestStop();
  go.Set();
  ASSERT_TRUE(w.Join(10000));
  ASSERT_EQ(outcomes.size(), 3u);
  // The first wait may already see the stop request; otherwise it names the first set source.
  if (outcomes[0] == WaitOutcome::kSignalled) {
    EXPECT_EQ(index, 0);
  }
  EXPECT_EQ(outcomes[1], WaitOutcome::kFailed) << "64 sources and the stop event do not fit";
  EXPECT_EQ(outcomes[2], WaitOutcome::kStopped) << "a set source must not hide the stop request";
}

// The worker is seen asleep in its wait before the stop; the stop then cuts the sleep short,
// and a second start really runs the body again.
TEST(WorkerThread, StopInterruptsSleepAndASecondStartRunsAgain) {
  std::atomic<int> runs{0};
  std::atomic<int> sleptFully{0};
  LambdaWorker w([&](LambdaWorker& self) {
    ++runs;
    if (self.Sleep(kWaitInfinite)) ++sleptFully;
  });
  for (int round = 1; round <= 2; ++round) {
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(Eventually([&] { return w.ThreadId() != 0; }));
    EXPECT_TRUE(WaitUntilBlockedIn(getpid(), w.ThreadId(), kWaitCalls));
    EXPECT_TRUE(w.IsRunning());
    w.StopAndJoin();
    EXPECT_FALSE(w.IsRunning());
    EXPECT_EQ(runs.load(), round);
  }
  EXPECT_EQ(sleptFully.load(), 0);
}

TEST(WorkerThread, JoinWithATimeOutSaysWhetherTheThreadEnded) {
  LambdaWorker w([](LambdaWorker& self) { self.Sleep(kWaitInfinite); });
  EXPECT_TRUE(w.Join(0)) << "a worker never started has nothing to wait for";
  ASSERT_TRUE(w.Start());
  EXPECT_FALSE(w.Join(20));
  EXPECT_TRUE(w.IsRunning());
  w.RequestStop();
  EXPECT_TRUE(w.Join(10000));
  EXPECT_FALSE(w.IsRunning());
}

TEST(WorkerThread, JoinFromTheThreadItselfReturnsAtOnce) {
  std::atomic<int> joined{-1};
  LambdaWorker w([&](LambdaWorker& self) { joined = self.Join(kWaitInfinite) ? 1 : 0; });
  ASSERT_TRUE(w.Start());
  ASSERT_TRUE(w.Join(10000));
  EXPECT_EQ(joined.load(), 0);
}

// A worker that deletes itself when its work is done.
class SelfDeletingWorker : public WorkerThread {
 public:
  explicit SelfDeletingWorker(std::atomic<bool>* destroyed) : WorkerThread("selfdelete"), destroyed_(destroyed) {}
  ~SelfDeletingWorker() override { *destroyed_ = true; }

 protected:
  void Run() override { delete this; }

 private:
  std::atomic<bool>* destroyed_;
};

TEST(WorkerThread, AWorkerMayDeleteItselfFromItsOwnThread) {
  std::atomic<bool> destroyed{false};
  auto* worker = new SelfDeletingWorker(&destroyed);
  ASSERT_TRUE(worker->Start());
  EXPECT_TRUE(Eventually([&] { return destroyed.load(); }));
}

#ifndef NDEBUG
TEST(WorkerThreadDeathTest, DestroyingARunningWorkerFailsLoudly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A derived class that forgets StopAndJoin() in its destructor.
  class Forgetful : public WorkerThread {
   public:
    Forgetful() : WorkerThread("forgetful") {}

   protected:
    void Run() override { Sleep(kWaitInfinite); }
  };
  EXPECT_DEATH(
      {
        Forgetful w;
        w.Start();
      },
      // Under ThreadSanitizer the race on the object's vtable is reported first: as loud.
      "destroyed while its thread still runs|ThreadSanitizer: data race on vptr");
}
#endif

int NiceOf(pid_t tid) {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

TEST(ThreadPriority, LevelsMapOntoNiceValuesAndLimits) {
  EXPECT_EQ(NiceValueFor(ThreadPriority::kBelowNormal), 5);
  EXPECT_EQ(NiceValueFor(ThreadPriority::kNormal), 0);
  EXPECT_EQ(NiceValueFor(ThreadPriority::kHighest), -10);
  struct Case {
    unsigned long limit;
    int current;
    int lowest;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{20, 0, 0}, Case{25, 0, -5}, Case{40, 3, -20}, Case{1000, 0, -20},
                        Case{10, 15, 10}}) {
    EXPECT_EQ(LowestPermittedNice(c.limit, c.current), c.lowest) << c.limit << " " << c.current;
  }
}

// Applied before the start and while running; a level that is not permitted falls back to a
// nice value, which must then be what the thread has.
TEST(ThreadPriority, AWorkerTakesItsLevelBeforeAndAfterItStarts) {
  std::atomic<int> niceAtStart{-100};
  LambdaWorker w([&](LambdaWorker& self) {
    niceAtStart = NiceOf(gettid());
    self.Sleep(kWaitInfinite);
  });
  w.SetPriority(ThreadPriority::kBelowNormal);
  ASSERT_TRUE(w.Start());
  ASSERT_TRUE(Eventually([&] { return niceAtStart.load() != -100; }));
  EXPECT_EQ(niceAtStart.load(), 5);

  PriorityOutcome normal = w.SetPriority(ThreadPriority::kNormal);
  EXPECT_TRUE(normal.applied);
  if (normal.exact) {
    EXPECT_EQ(NiceOf(w.ThreadId()), 0);
  }

  PriorityOutcome critical = w.SetPriority(ThreadPriority::kTimeCritical);
  ASSERT_TRUE(critical.applied);
  const int policy = sched_getscheduler(w.ThreadId());
  if (critical.realTime) {
    EXPECT_EQ(policy, SCHED_RR);
  } else {
    EXPECT_EQ(policy, SCHED_OTHER);
    EXPECT_EQ(NiceOf(w.ThreadId()), critical.niceValue);
  }
  PriorityOutcome below = w.SetPriority(ThreadPriority::kBelowNormal);
  EXPECT_TRUE(below.applied && below.exact);
  EXPECT_EQ(sched_getscheduler(w.ThreadId()), SCHED_OTHER);
  EXPECT_EQ(NiceOf(w.ThreadId()), 5);
  w.StopAndJoin();
}

// Records its destruction so the registry's clean-up can be seen.
class TrackedWorker : public WorkerThread {
 public:
  TrackedWorker(std::atomic<int>* destroyed, bool endsAtOnce)
      : WorkerThread("tracked"), destroyed_(destroyed), endsAtOnce_(endsAtOnce) {}
  ~TrackedWorker() override {
    StopAndJoin();
    ++*destroyed_;
  }

 protected:
  void Run() override {
    if (!endsAtOnce_) Sleep(kWaitInfinite);
  }

 private:
  std::atomic<int>* destroyed_;
  bool endsAtOnce_;
};

TEST(WorkerRegistry, StopAllStopsJoinsAndDeletesEveryWorker) {
  std::atomic<int> destroyed{0};
  WorkerRegistry registry;
  for (int i = 0; i < 4; ++i) {
    auto w = std::make_unique<TrackedWorker>(&destroyed, false);
    if (i != 3) {  // one is never started
      ASSERT_TRUE(w->Start());
    }
    registry.Add(std::move(w));
  }
  EXPECT_EQ(registry.Count(), 4u);
  registry.StopAll();
  EXPECT_EQ(registry.Count(), 0u);
  EXPECT_EQ(destroyed.load(), 4);
}

TEST(WorkerRegistry, WorkersThatEndedAreReapedAndNotCounted) {
  std::atomic<int> destroyed{0};
  WorkerRegistry registry;
  auto lasting = std::make_unique<TrackedWorker>(&destroyed, false);
  ASSERT_TRUE(lasting->Start());
  registry.Add(std::move(lasting));
  auto brief = std::make_unique<TrackedWorker>(&destroyed, true);
  ASSERT_TRUE(brief->Start());
  registry.Add(std::move(brief));
  EXPECT_TRUE(Eventually([&] { return registry.Count() == 1; }));
  EXPECT_EQ(destroyed.load(), 1) << "the ended worker was deleted";
  registry.StopAll();
  EXPECT_EQ(destroyed.load(), 2);
}

TEST(WorkerRegistry, WorkersMayBeAddedFromManyThreads) {
  std::atomic<int> destroyed{0};
  {
    WorkerRegistry registry;
    std::vector<std::thread> adders;
    for (int t = 0; t < 4; ++t) {
      adders.emplace_back([&] {
        for (int i = 0; i < 5; ++i) {
          auto w = std::make_unique<TrackedWorker>(&destroyed, false);
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
