#include "platform/headless_loop.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace corvina::platform {

HeadlessLoop::~HeadlessLoop() { postbox_.Detach(); }

bool HeadlessLoop::Attach(UiPostbox& postbox) {
  CORVINA_CHECK_THREAD(loopThread_);
  return postbox_.Attach(postbox);
}

void HeadlessLoop::SetTimer(int id, std::uint32_t delayMs, std::function<void()> handler) {
  CORVINA_CHECK_THREAD(loopThread_);
  timers_.Set(id, Clock::now() + std::chrono::milliseconds(delayMs), std::move(handler));
}

void HeadlessLoop::KillTimer(int id) {
  CORVINA_CHECK_THREAD(loopThread_);
  timers_.Kill(id);
}

void HeadlessLoop::WatchFd(int fd, std::function<void()> onReadable) {
  CORVINA_CHECK_THREAD(loopThread_);
  watched_[fd].onReadable = std::move(onReadable);
  if (!watched_[fd].onReadable && !watched_[fd].onWritable) watched_.erase(fd);
}

void HeadlessLoop::WatchWritable(int fd, std::function<void()> onWritable) {
  CORVINA_CHECK_THREAD(loopThread_);
  watched_[fd].onWritable = std::move(onWritable);
  if (!watched_[fd].onReadable && !watched_[fd].onWritable) watched_.erase(fd);
}

void HeadlessLoop::UnwatchWritable(int fd) { WatchWritable(fd, nullptr); }

void HeadlessLoop::UnwatchFd(int fd) {
  CORVINA_CHECK_THREAD(loopThread_);
  watched_.erase(fd);
}

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

void HeadlessLoop::FireDueTimers(Clock::time_point now) {
  // Only timers due when the round began: a handler that re-arms itself with no delay runs
  // again next round, not in a loop here.
  while (!quit_) {
    auto due = timers_.TakeDue(now);
    if (!due) return;
    due->second();
  }
}

int HeadlessLoop::MsUntilNextTimer() const {
  if (timers_.Empty()) return 60000;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(timers_.NextDeadline() - Clock::now()).count() + 1;
  if (ms < 0) return 0;
  return ms > 60000 ? 60000 : static_cast<int>(ms);
}

void HeadlessLoop::ServeDescriptors(const std::vector<Ready>& ready) {
  for (std::size_t i = 0; i < ready.size() && !quit_; ++i) {
    const short revents = ready[i].revents;
    auto it = watched_.find(ready[i].fd);
    if (it == watched_.end()) continue;  // unwatched by an earlier handler of this round
    if (revents & POLLNVAL) {
      watched_.erase(it);  // closed behind our back: stop watching it
      continue;
    }
    // Copies: a handler may unwatch its own descriptor.
    if ((revents & (POLLIN | POLLHUP | POLLERR)) && it->second.onReadable) {
      std::function<void()> handler = it->second.onReadable;
      handler();
      it = watched_.find(ready[i].fd);
      if (it == watched_.end() || quit_) continue;
    }
    if ((revents & (POLLOUT | POLLERR | POLLHUP)) && it->second.onWritable) {
      std::function<void()> handler = it->second.onWritable;
      handler();
    }
  }
}

int HeadlessLoop::Run() {
  CORVINA_CHECK_THREAD(loopThread_);
  while (!quit_) {
    if (Round({}, kWaitInfinite) == kWaitFailed) break;
  }
  return exitCode_;
}

int HeadlessLoop::WaitRound(std::span<const WaitSource> sources, int timeoutMs) {
  CORVINA_CHECK_THREAD(loopThread_);
  // A source ready already wins before any input is served.
  const int ready = WaitForAny(sources, 0);
  if (ready != kWaitTimedOut || timeoutMs == 0) return ready;
  return Round(sources, timeoutMs);
}

int HeadlessLoop::Round(std::span<const WaitSource> sources, int timeoutMs) {
  if (sources.size() > kMaxWaitSources) return kWaitFailed;
  std::vector<pollfd> fds;
  fds.push_back(pollfd{wake_.Fd(), POLLIN, 0});
  for (const WaitSource& source : sources) fds.push_back(pollfd{source.fd, POLLIN, 0});
  const std::size_t firstWatched = fds.size();
  for (const auto& [fd, watch] : watched_) {
    short events = 0;
    if (watch.onReadable) events |= POLLIN;
    if (watch.onWritable) events |= POLLOUT;
    fds.push_back(pollfd{fd, events, 0});
  }
  const int untilTimer = MsUntilNextTimer();
  const bool timerFirst = untilTimer >= 0 && (timeoutMs < 0 || untilTimer < timeoutMs);
  const int n = poll(fds.data(), fds.size(), timerFirst ? untilTimer : timeoutMs);
  if (n < 0 && errno != EINTR) return kWaitFailed;
  for (std::size_t i = 1; n > 0 && i < firstWatched; ++i) {
    if (fds[i].revents == 0) continue;
    const WaitSource& source = sources[i - 1];
    // An auto-reset event is consumed by the wait that reports it; another waiter may have
    // taken it first, and then it does not count.
    if (source.event == nullptr || source.event->GetMode() == Event::Mode::kManualReset ||
        source.event->TryTake()) {
      return static_cast<int>(i - 1);
    }
  }
  if (n > 0 && (fds[0].revents & POLLIN)) wake_.TryTake();
  const Clock::time_point now = Clock::now();
  if (UiPostbox* postbox = postbox_.Postbox()) postbox->RunBatch();
  if (quit_) return kRoundServed;
  FireDueTimers(now);
  if (quit_) return kRoundServed;
  if (n == 0 && !timerFirst) return kWaitTimedOut;
  if (n <= 0) return kRoundServed;
  std::vector<Ready> ready;
  for (std::size_t i = firstWatched; i < fds.size(); ++i) {
    if (fds[i].revents != 0) ready.push_back(Ready{fds[i].fd, fds[i].revents});
  }
  ServeDescriptors(ready);
  return kRoundServed;
}

}  // namespace corvina::platform
