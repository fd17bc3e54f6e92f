#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

namespace corvina::platform {

Event::Event(Mode mode, bool initiallySet) : mode_(mode) {
  fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (initiallySet) Set();
}

Event::~Event() {
  if (fd_ >= 0) close(fd_);
}

void Event::Set() {
  std::uint64_t one = 1;
  // A full counter (never reached in practice) still leaves the event readable.
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void Event::Reset() {
  std::uint64_t value;
  [[maybe_unused]] ssize_t n = read(fd_, &value, sizeof value);
}

bool Event::IsSet() const {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

bool Event::TryTake() {
  if (mode_ == Mode::kManualReset) return IsSet();
  std::uint64_t value;
  return read(fd_, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

int WaitForAny(std::span<const WaitSource> sources, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  std::vector<pollfd> fds(sources.size());
  for (;;) {
    for (std::size_t i = 0; i < sources.size(); ++i) fds[i] = pollfd{sources[i].fd, POLLIN, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left < 0) left = 0;
    int n = poll(fds.data(), fds.size(), static_cast<int>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return kWaitFailed;
    }
    if (n == 0) return kWaitTimedOut;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) continue;
      if (fds[i].revents & POLLNVAL) return kWaitFailed;
      // Another waiter may have taken an auto-reset event first: then keep waiting.
      if (sources[i].event != nullptr && !sources[i].event->TryTake()) continue;
      return static_cast<int>(i);
    }
    if (Clock::now() >= deadline) return kWaitTimedOut;
  }
}

int WaitForAny(std::initializer_list<WaitSource> sources, int timeoutMs) {
  return WaitForAny(std::span<const WaitSource>(sources.begin(), sources.size()), timeoutMs);
}

}  // namespace corvina::platform
