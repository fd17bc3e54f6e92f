#include "platform/worker_thread.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <cassert>

namespace corvina::platform {

WorkerThread::WorkerThread(std::string name) : name_(std::move(name)) {}

WorkerThread::~WorkerThread() {
  std::lock_guard lock(joinMutex_);
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Deleted from its own Run(): the thread ends on its own and touches only its state.
    thread_.detach();
    return;
  }
  assert(state_->ended.IsSet() && "a worker was destroyed while its thread still runs: call StopAndJoin() first");
  // Release builds stop the thread rather than leave it running on a dead object.
  stop_.Set();
  thread_.join();
}

bool WorkerThread::Start() {
  std::lock_guard lock(joinMutex_);
  if (thread_.joinable()) {
    if (!state_->ended.IsSet()) return false;
    thread_.join();  // an earlier run that ended without a Join()
  }
  stop_.Reset();
  state_->ended.Reset();
  state_->threadId = 0;
  state_->running = true;
  thread_ = std::thread(&WorkerThread::Body, this, state_);
  return true;
}

void WorkerThread::Body(WorkerThread* self, std::shared_ptr<ThreadState> state) {
  // Thread names show in debuggers and `top -H`; the kernel keeps 15 characters.
  pthread_setname_np(pthread_self(), self->name_.substr(0, 15).c_str());
  state->threadId = gettid();
  // A level asked before the id was known is applied here; one asked after is applied by the
  // asker. Both may happen, which is harmless.
  if (self->priorityAsked_.load()) ApplyThreadPriority(0, self->priority_.load(), self->priorityLog_.load());
  self->Run();
  // `self` may be gone from here on.
  state->running = false;
  state->ended.Set();
}

void WorkerThread::RequestStop() { stop_.Set(); }

bool WorkerThread::Join(int timeoutMs) {
  {
    std::lock_guard lock(joinMutex_);
    if (!thread_.joinable()) return true;
    if (thread_.get_id() == std::this_thread::get_id()) return false;
  }
  if (WaitForAny({WaitSource::Of(state_->ended)}, timeoutMs) != 0) return false;
  std::lock_guard lock(joinMutex_);
  // Another joiner may have been first.
  if (thread_.joinable()) thread_.join();
  return true;
}

void WorkerThread::StopAndJoin() {
  RequestStop();
  Join();
}

PriorityOutcome WorkerThread::SetPriority(ThreadPriority level, LogSink* log) {
  priorityLog_ = log;
  priority_ = level;
  priorityAsked_ = true;
  const pid_t id = state_->threadId.load();
  if (id == 0 || !state_->running.load()) return PriorityOutcome{};
  return ApplyThreadPriority(id, level, log);
}

bool WorkerThread::Sleep(int ms) {
  return WaitForAny({WaitSource::Of(stop_)}, ms) == kWaitTimedOut;
}

WaitOutcome WorkerThread::Wait(Event& event, int timeoutMs) {
  int index = -1;
  return WaitAny({WaitSource::Of(event)}, timeoutMs, &index);
}

WaitOutcome WorkerThread::WaitAny(std::span<const WaitSource> sources, int timeoutMs, int* index) {
  if (sources.size() + 1 > kMaxWaitSources) return WaitOutcome::kFailed;
  std::array<WaitSource, kMaxWaitSources> all;
  all[0] = WaitSource::Of(stop_);
  std::copy(sources.begin(), sources.end(), all.begin() + 1);
  int r = WaitForAny(std::span<const WaitSource>(all.data(), sources.size() + 1), timeoutMs);
  if (r == kWaitTimedOut) return WaitOutcome::kTimedOut;
  if (r == kWaitFailed) return WaitOutcome::kFailed;
  // The stop request wins even when it was set while another source was being reported.
  if (r == 0 || stop_.IsSet()) return WaitOutcome::kStopped;
  if (index != nullptr) *index = r - 1;
  return WaitOutcome::kSignalled;
}

WaitOutcome WorkerThread::WaitAny(std::initializer_list<WaitSource> sources, int timeoutMs, int* index) {
  return WaitAny(std::span<const WaitSource>(sources.begin(), sources.size()), timeoutMs, index);
}

WorkerRegistry::~WorkerRegistry() { StopAll(); }

void WorkerRegistry::Add(std::unique_ptr<WorkerThread> worker) {
  Reap();
  std::lock_guard lock(mutex_);
  workers_.push_back(std::move(worker));
}

void WorkerRegistry::Reap() {
  std::vector<std::unique_ptr<WorkerThread>> ended;
  {
    std::lock_guard lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if ((*it)->Ended()) {
        ended.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Joined and deleted outside the lock: a destructor may take its time.
  for (auto& worker : ended) worker->Join();
}

void WorkerRegistry::StopAll() {
  {
    std::lock_guard lock(mutex_);
    for (auto& w : workers_) w->RequestStop();
  }
  const ThreadPriority callers = CurrentThreadPriority();
  for (;;) {
    std::unique_ptr<WorkerThread> worker;
    {
      std::lock_guard lock(mutex_);
      if (workers_.empty()) return;
      worker = std::move(workers_.front());
      workers_.erase(workers_.begin());
    }
    // A worker added after the signal round still gets its stop request here.
    worker->RequestStop();
    worker->SetPriority(callers);
    worker->Join();
  }
}

std::size_t WorkerRegistry::Count() {
  Reap();
  std::lock_guard lock(mutex_);
  return workers_.size();
}

}  // namespace corvina::platform
