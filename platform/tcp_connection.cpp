#include "platform/tcp_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/event.h"
#include "platform/fd_io.h"

namespace corvina::platform {
namespace {

int MsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

TcpConnection::~TcpConnection() { Close(); }

void TcpConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool TcpConnection::SetNoDelay() {
  const int on = 1;
  return fd_ >= 0 && setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool TcpConnection::SetTypeOfService(int tos) {
  return fd_ >= 0 && setsockopt(fd_, IPPROTO_IP, IP_TOS, &tos, sizeof tos) == 0;
}

NetResult WaitForFd(int fd, short events, int timeoutMs, Event* stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stop != nullptr ? stop->Fd() : -1, POLLIN, 0}};
    const int n = poll(fds, stop != nullptr ? 2 : 1, MsLeft(deadline));
    if (n < 0) {
      if (errno == EINTR) continue;
      return NetResult::kFailed;
    }
    if (stop != nullptr && (fds[1].revents & POLLIN) != 0) return NetResult::kStopped;
    if (n == 0) return NetResult::kTimedOut;
    if (fds[0].revents != 0) return NetResult::kOk;
  }
}

NetResult TcpConnection::WaitFor(short events, int timeoutMs, Event* stop) { return WaitForFd(fd_, events, timeoutMs, stop); }

NetResult TcpConnection::Connect(const SocketAddress& to, int timeoutMs, Event* stop) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return NetResult::kFailed;
  if (sendBuffer_ > 0) platform::SetSendBuffer(fd_, sendBuffer_);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(to.address);
  addr.sin_port = htons(to.port);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return NetResult::kOk;
  if (errno != EINPROGRESS) return NetResult::kFailed;
  NetResult waited = WaitFor(POLLOUT, timeoutMs, stop);
  if (waited != NetResult::kOk) return waited;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return NetResult::kFailed;
  return NetResult::kOk;
}

NetResult TcpConnection::SendAll(std::string_view data, int timeoutMs, Event* stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!data.empty()) {
    const ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return NetResult::kFailed;
    NetResult waited = WaitFor(POLLOUT, MsLeft(deadline), stop);
    if (waited != NetResult::kOk) return waited;
  }
  return NetResult::kOk;
}

NetResult TcpConnection::ReceiveSome(std::string* out, std::size_t maxBytes, int timeoutMs, Event* stop,
                                     bool* closed) {
  *closed = false;
  if (out->size() >= maxBytes) return NetResult::kOk;
  NetResult waited = WaitFor(POLLIN, timeoutMs, stop);
  if (waited != NetResult::kOk) return waited;
  char buffer[4096];
  const std::size_t room = std::min(sizeof buffer, maxBytes - out->size());
  ssize_t n;
  do {
    n = recv(fd_, buffer, room, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? NetResult::kOk : NetResult::kFailed;
  if (n == 0) *closed = true;
  out->append(buffer, static_cast<std::size_t>(n));
  return NetResult::kOk;
}

NetResult TcpConnection::ReceiveExactly(std::string* out, std::size_t bytes, int timeoutMs, Event* stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const std::size_t target = out->size() + bytes;
  while (out->size() < target) {
    bool closed = false;
    NetResult got = ReceiveSome(out, target, MsLeft(deadline), stop, &closed);
    if (got != NetResult::kOk) return got;
    if (closed) return NetResult::kFailed;
  }
  return NetResult::kOk;
}

}  // namespace corvina::platform
