#include "platform/headless_loop.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace corvina::platform {

void HeadlessLoop::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.Set();
}

void HeadlessLoop::SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) {
  {
    std::lock_guard lock(mutex_);
    timers_.Set(id, Clock::now() + std::chrono::milliseconds(delayMs), std::move(handler));
  }
  wake_.Set();
}

void HeadlessLoop::KillTimer(int id) {
  std::lock_guard lock(mutex_);
  timers_.Kill(id);
}

void HeadlessLoop::WatchFd(int fd, std::function<void()> onReadable) { watched_[fd] = std::move(onReadable); }

void HeadlessLoop::UnwatchFd(int fd) { watched_.erase(fd); }

void HeadlessLoop::Quit(int code) {
  exitCode_ = code;
  quit_ = true;
  wake_.Set();
}

void HeadlessLoop::RequestQuitFromSignal() {
  // Only async-signal-safe work: an atomic store and a write() inside Event::Set.
  quit_ = true;
  wake_.Set();
}

void HeadlessLoop::RunTasks() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    if (quit_) return;
  }
}

void HeadlessLoop::FireDueTimers() {
  for (;;) {
    std::function<void()> handler;
    {
      std::lock_guard lock(mutex_);
      auto due = timers_.TakeDue(Clock::now());
      if (!due) return;
      handler = std::move(due->second);
    }
    handler();
    if (quit_) return;
  }
}

int HeadlessLoop::MsUntilNextTimer() {
  std::lock_guard lock(mutex_);
  if (timers_.Empty()) return 60000;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(timers_.NextDeadline() - Clock::now()).count() + 1;
  if (ms < 0) return 0;
  return ms > 60000 ? 60000 : static_cast<int>(ms);
}

int HeadlessLoop::Run() {
  std::vector<pollfd> fds;
  std::vector<int> order;
  while (!quit_) {
    fds.clear();
    order.clear();
    fds.push_back(pollfd{wake_.Fd(), POLLIN, 0});
    for (const auto& [fd, handler] : watched_) {
      fds.push_back(pollfd{fd, POLLIN, 0});
      order.push_back(fd);
    }
    int n = poll(fds.data(), fds.size(), MsUntilNextTimer());
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && (fds[0].revents & POLLIN)) wake_.TryTake();
    RunTasks();
    if (quit_) break;
    FireDueTimers();
    if (quit_) break;
    for (std::size_t i = 1; n > 0 && i < fds.size() && !quit_; ++i) {
      if (fds[i].revents & POLLNVAL) {
        watched_.erase(order[i - 1]);  // closed behind our back: stop watching it
        continue;
      }
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      auto it = watched_.find(order[i - 1]);
      if (it == watched_.end()) continue;  // unwatched by an earlier handler of this round
      std::function<void()> handler = it->second;
      handler();
    }
  }
  return exitCode_;
}

}  // namespace corvina::platform
