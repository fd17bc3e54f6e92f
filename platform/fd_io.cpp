#include "platform/fd_io.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace corvina::platform {
namespace {

// write() to a pipe or terminal whose reader has gone raises SIGPIPE, which would end the
// process; so the signal is blocked around the call, and one raised by it is taken back
// before the old mask returns.
ssize_t WriteWithoutSigpipe(int fd, const char* data, std::size_t size) {
  sigset_t pipeOnly;
  sigset_t old;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &old);
  ssize_t n = write(fd, data, size);
  const int error = errno;
  if (n < 0 && error == EPIPE && !sigismember(&old, SIGPIPE)) {
    sigset_t pending;
    sigpending(&pending);
    const timespec none{0, 0};
    if (sigismember(&pending, SIGPIPE)) sigtimedwait(&pipeOnly, nullptr, &none);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = error;
  return n;
}

}  // namespace

bool WriteAll(int fd, std::string_view data, std::size_t* written) {
  std::size_t done = 0;
  bool socket = true;
  bool ok = true;
  while (done < data.size()) {
    const char* p = data.data() + done;
    const std::size_t left = data.size() - done;
    ssize_t n = socket ? send(fd, p, left, MSG_NOSIGNAL) : WriteWithoutSigpipe(fd, p, left);
    if (n < 0 && socket && errno == ENOTSOCK) {
      socket = false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (written != nullptr) *written = done;
  return ok;
}

long WriteSome(int fd, std::string_view data) {
  if (data.empty()) return 0;
  for (;;) {
    ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == ENOTSOCK) n = WriteWithoutSigpipe(fd, data.data(), data.size());
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

int OpenNonBlockingWriter(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return -1;
  if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    int own = open(self.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (own >= 0) return own;
  }
  return fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

LineSplitter::Result LineSplitter::Next(std::string* line) {
  for (;;) {
    std::size_t end = buffer_.find('\n');
    if (discarding_) {
      if (end == std::string::npos) {
        buffer_.clear();
        return Result::kNone;
      }
      buffer_.erase(0, end + 1);
      discarding_ = false;
      continue;
    }
    if (end == std::string::npos) {
      if (buffer_.size() <= maxLineBytes_) return Result::kNone;
      buffer_.clear();
      discarding_ = true;
      return Result::kTooLong;
    }
    if (end > maxLineBytes_) {
      buffer_.erase(0, end + 1);
      return Result::kTooLong;
    }
    line->assign(buffer_, 0, end);
    buffer_.erase(0, end + 1);
    return Result::kLine;
  }
}

bool LineSplitter::TakeRest(std::string* line) {
  if (discarding_ || buffer_.empty() || buffer_.size() > maxLineBytes_) return false;
  *line = std::move(buffer_);
  buffer_.clear();
  return true;
}

bool WaitWritable(int fd, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (p.revents & POLLOUT) != 0;
  }
}

long ReadSome(int fd, char* buffer, std::size_t size) {
  const ssize_t n = read(fd, buffer, size);
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return kNothingYet;
  return n < 0 ? -1 : static_cast<long>(n);
}

void CloseFd(int fd) {
  if (fd >= 0) close(fd);
}

bool SetSendBuffer(int fd, int bytes) { return setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0; }

bool ReadLine(int fd, int timeoutMs, LineSplitter& splitter, std::string* line) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    switch (splitter.Next(line)) {
      case LineSplitter::Result::kLine:
        return true;
      case LineSplitter::Result::kTooLong:
        return false;
      case LineSplitter::Result::kNone:
        break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[4096];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    splitter.Append(std::string_view(chunk, static_cast<std::size_t>(n)));
  }
}

}  // namespace corvina::platform
