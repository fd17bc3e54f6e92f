#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace corvina::platform {

Event::Event(Mode mode, bool initiallySet)
    : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), mode_(mode) {
  if (initiallySet) Set();
}

void Event::Set() {
  if (!fd_) return;
  std::uint64_t one = 1;
  // A full counter (never reached in practice) still leaves the event readable.
  [[maybe_unused]] ssize_t n = write(fd_.Get(), &one, sizeof one);
}

void Event::Reset() {
  if (!fd_) return;
  std::uint64_t value;
  [[maybe_unused]] ssize_t n = read(fd_.Get(), &value, sizeof value);
}

bool Event::IsSet() const {
  if (!fd_) return false;
  pollfd p{fd_.Get(), POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

bool Event::TryTake() {
  if (mode_ == Mode::kManualReset) return IsSet();
  if (!fd_) return false;
  std::uint64_t value;
  return read(fd_.Get(), &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

int WaitForAny(std::span<const WaitSource> sources, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  if (sources.size() > kMaxWaitSources || (timeoutMs < 0 && timeoutMs != kWaitInfinite)) return kWaitFailed;
  // poll() ignores negative descriptors; here a missing one is an error, never a silent sleep.
  for (const WaitSource& s : sources) {
    if (s.fd < 0) return kWaitFailed;
  }
  const bool infinite = timeoutMs == kWaitInfinite;
  const auto deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : timeoutMs);
  std::array<pollfd, kMaxWaitSources> fds;
  for (;;) {
    for (std::size_t i = 0; i < sources.size(); ++i) fds[i] = pollfd{sources[i].fd, POLLIN, 0};
    int left = -1;
    if (!infinite) {
      auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      left = ms < 0 ? 0 : static_cast<int>(ms);
    }
    int n = poll(fds.data(), sources.size(), left);
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
    if (!infinite && Clock::now() >= deadline) return kWaitTimedOut;
  }
}

int WaitForAny(std::initializer_list<WaitSource> sources, int timeoutMs) {
  return WaitForAny(std::span<const WaitSource>(sources.begin(), sources.size()), timeoutMs);
}

}  // namespace corvina::platform
