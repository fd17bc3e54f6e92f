// The base of every worker thread: a stop event, an interruptible sleep, and waits that say
// whether they ended on their handle, on the stop request or on the time-out.
//
// A derived class must call StopAndJoin() in its own destructor (before its members go), since
// the thread runs the derived Run(); the base destructor only makes sure no thread is left.
#pragma once

#include <atomic>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"

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
  // Waits for the thread to end. Calling it from the thread itself does nothing.
  void Join();
  void StopAndJoin();

  bool IsRunning() const { return running_.load(); }
  bool StopRequested() const { return stop_.IsSet(); }
  Event& StopEvent() { return stop_; }
  const std::string& Name() const { return name_; }

 protected:
  virtual void Run() = 0;

  // Sleeps `ms` milliseconds; false when woken early by the stop request.
  bool Sleep(int ms);
  // Waits for one event (or the stop request, which wins when both are set).
  WaitOutcome Wait(Event& event, int timeoutMs);
  // Waits for any of several sources; `index` gets the ready source's index on kSignalled.
  WaitOutcome WaitAny(std::initializer_list<WaitSource> sources, int timeoutMs, int* index);

 private:
  void Body();

  std::string name_;
  Event stop_{Event::Mode::kManualReset};
  std::thread thread_;
  std::mutex joinMutex_;
  std::atomic<bool> running_{false};
};

// The registry of detached workers: workers that outlive the code that started them. At exit
// StopAll() signals every worker's stop event (under the registry's lock), then takes the
// workers off one by one, waits for each and deletes it.
class WorkerRegistry {
 public:
  WorkerRegistry() = default;
  ~WorkerRegistry();
  WorkerRegistry(const WorkerRegistry&) = delete;
  WorkerRegistry& operator=(const WorkerRegistry&) = delete;

  // Takes ownership of a worker (started or not). Any thread may add.
  void Add(std::unique_ptr<WorkerThread> worker);
  void StopAll();
  std::size_t Count();

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<WorkerThread>> workers_;
};

}  // namespace corvina::platform
