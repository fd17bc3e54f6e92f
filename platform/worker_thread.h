// The base of every worker thread: a stop event, an interruptible sleep, waits that say whether
// they ended on their handle, on the stop request or on the time-out, a priority, and a join
// with a time-out.
//
// A derived class must call StopAndJoin() in its own destructor (before its members go), since
// the thread runs the derived Run(). Destroying a worker whose thread still runs is a
// programming error (an assertion in debug builds). The one exception is a worker that deletes
// itself from its own Run(): its thread is let go, and nothing of the object is touched after
// Run() returns.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/log_sink.h"
#include "platform/thread_priority.h"

namespace corvina::platform {

enum class WaitOutcome { kSignalled, kStopped, kTimedOut, kFailed };

class WorkerThread {
 public:
  explicit WorkerThread(std::string name);
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the thread once; false when it is already running or cannot be created.
  bool Start();
  // Asks the thread to stop (sets the stop event); returns at once.
  void RequestStop();
  // Waits up to `timeoutMs` (kWaitInfinite: without limit) for the thread to end; true when it
  // has ended (or never ran), false on the time-out or when called from the thread itself.
  bool Join(int timeoutMs = kWaitInfinite);
  void StopAndJoin();

  // Any thread, before or after Start(). Takes effect at once on a running thread, otherwise
  // when it starts. A fallback (see thread_priority.h) is said once in `log` when given.
  PriorityOutcome SetPriority(ThreadPriority level, LogSink* log = nullptr);

  bool IsRunning() const { return state_->running.load(); }
  // The kernel's id of the running thread (0 before it has started).
  pid_t ThreadId() const { return state_->threadId.load(); }
  // True once a started thread has left Run() (until the next Start()).
  bool Ended() const { return state_->ended.IsSet(); }
  bool StopRequested() const { return stop_.IsSet(); }
  Event& StopEvent() { return stop_; }
  const std::string& Name() const { return name_; }

 protected:
  virtual void Run() = 0;

  // Sleeps `ms` milliseconds; false when woken early by the stop request.
  bool Sleep(int ms);
  // Waits for one event (or the stop request, which wins when both are set).
  WaitOutcome Wait(Event& event, int timeoutMs);
  // Waits for any of up to kMaxWaitSources - 1 sources (the stop request takes one place and
  // wins over the others); `index` gets the ready source's index on kSignalled. More sources
  // than fit is kFailed.
  WaitOutcome WaitAny(std::span<const WaitSource> sources, int timeoutMs, int* index);
  WaitOutcome WaitAny(std::initializer_list<WaitSource> sources, int timeoutMs, int* index);

 private:
  // What the thread touches after Run() returns: shared with the thread, so that it stays
  // valid when the worker was deleted from inside Run().
  struct ThreadState {
    std::atomic<bool> running{false};
    std::atomic<pid_t> threadId{0};
    Event ended{Event::Mode::kManualReset};
  };
  static void Body(WorkerThread* self, std::shared_ptr<ThreadState> state);

  std::string name_;
  Event stop_{Event::Mode::kManualReset};
  std::shared_ptr<ThreadState> state_ = std::make_shared<ThreadState>();
  // The level to take at start (and the last one asked for), with the sink for its notice.
  std::atomic<ThreadPriority> priority_{ThreadPriority::kNormal};
  std::atomic<bool> priorityAsked_{false};
  std::atomic<LogSink*> priorityLog_{nullptr};
  // Guards thread_ (Start, Join and the destructor may run on different threads).
  std::mutex joinMutex_;
  std::thread thread_;
};

// The registry of detached workers: workers that outlive the code that started them. Workers
// that have ended are reaped (joined and deleted) whenever a worker is added or counted. At
// exit StopAll() signals every worker's stop event (under the registry's lock), then takes the
// workers off one by one, hands each the calling thread's priority, waits for it and deletes it.
class WorkerRegistry {
 public:
  WorkerRegistry() = default;
  ~WorkerRegistry();
  WorkerRegistry(const WorkerRegistry&) = delete;
  WorkerRegistry& operator=(const WorkerRegistry&) = delete;

  // Takes ownership of a worker (started or not). Any thread may add.
  void Add(std::unique_ptr<WorkerThread> worker);
  void StopAll();
  // Joins and deletes the workers whose threads have ended.
  void Reap();
  // The workers not yet ended (running, or never started), after a reap.
  std::size_t Count();

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<WorkerThread>> workers_;
};

}  // namespace corvina::platform
