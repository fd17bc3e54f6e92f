#include "platform/worker_thread.h"

#include <pthread.h>

namespace corvina::platform {

WorkerThread::WorkerThread(std::string name) : name_(std::move(name)) {}

WorkerThread::~WorkerThread() { StopAndJoin(); }

bool WorkerThread::Start() {
  std::lock_guard lock(joinMutex_);
  if (thread_.joinable()) return false;
  stop_.Reset();
  running_ = true;
  thread_ = std::thread([this] { Body(); });
  return true;
}

void WorkerThread::Body() {
  // Thread names show in debuggers and `top -H`; the kernel keeps 15 characters.
  pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
  Run();
  running_ = false;
}

void WorkerThread::RequestStop() { stop_.Set(); }

void WorkerThread::Join() {
  std::lock_guard lock(joinMutex_);
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  thread_.join();
}

void WorkerThread::StopAndJoin() {
  RequestStop();
  Join();
}

bool WorkerThread::Sleep(int ms) {
  return WaitForAny({WaitSource::Of(stop_)}, ms) == kWaitTimedOut;
}

WaitOutcome WorkerThread::Wait(Event& event, int timeoutMs) {
  int index = -1;
  return WaitAny({WaitSource::Of(event)}, timeoutMs, &index);
}

WaitOutcome WorkerThread::WaitAny(std::initializer_list<WaitSource> sources, int timeoutMs, int* index) {
  std::vector<WaitSource> all;
  all.reserve(sources.size() + 1);
  all.push_back(WaitSource::Of(stop_));
  all.insert(all.end(), sources.begin(), sources.end());
  int r = WaitForAny(all, timeoutMs);
  if (r == kWaitTimedOut) return WaitOutcome::kTimedOut;
  if (r == kWaitFailed) return WaitOutcome::kFailed;
  if (r == 0) return WaitOutcome::kStopped;
  if (index != nullptr) *index = r - 1;
  return WaitOutcome::kSignalled;
}

WorkerRegistry::~WorkerRegistry() { StopAll(); }

void WorkerRegistry::Add(std::unique_ptr<WorkerThread> worker) {
  std::lock_guard lock(mutex_);
  workers_.push_back(std::move(worker));
}

void WorkerRegistry::StopAll() {
  {
    std::lock_guard lock(mutex_);
    for (auto& w : workers_) w->RequestStop();
  }
  for (;;) {
    std::unique_ptr<WorkerThread> worker;
    {
      std::lock_guard lock(mutex_);
      if (workers_.empty()) return;
      worker = std::move(workers_.front());
      workers_.erase(workers_.begin());
    }
    // A worker added after the signal round still gets its stop request here.
    worker->StopAndJoin();
  }
}

std::size_t WorkerRegistry::Count() {
  std::lock_guard lock(mutex_);
  return workers_.size();
}

}  // namespace corvina::platform
