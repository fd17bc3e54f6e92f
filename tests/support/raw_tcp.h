// Plain loopback TCP sockets for tests that play the other end of a protocol.
#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace corvina::testing {

// A TCP socket on 127.0.0.1 connected to `port` (still connecting unless `wait`), or, with
// `listenBacklog` >= 0, listening on a free port (which `port` gets).
inline int LoopbackSocket(std::uint16_t& port, bool wait = true, int listenBacklog = -1, int receiveBuffer = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
  if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in a{AF_INET, htons(listenBacklog >= 0 ? 0 : port), {htonl(0x7F000001)}, {}};
  socklen_t len = sizeof a;
  if (listenBacklog < 0) return connect(fd, reinterpret_cast<sockaddr*>(&a), len), fd;
  bind(fd, reinterpret_cast<sockaddr*>(&a), len), listen(fd, listenBacklog);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return port = ntohs(a.sin_port), fd;
}
inline int ConnectTo(std::uint16_t port, bool wait = true) { return LoopbackSocket(port, wait); }

struct RawListener {
  explicit RawListener(int backlog = 8, int receiveBuffer = 0) : fd(LoopbackSocket(port, true, backlog, receiveBuffer)) {}
  ~RawListener() { close(fd); }
  int Accept(int ms) const {  // -1 when nobody came within `ms`
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1 ? accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }
  std::uint16_t port = 0;
  int fd;
};

// Up to `n` bytes: what came before the peer closed or `ms` ran out. `closed` says which.
inline std::string ReadUpTo(int fd, std::size_t n, int ms, bool* closed = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::string out;
  char buffer[4096];
  ssize_t got = 1;
  for (pollfd p{fd, POLLIN, 0}; out.size() < n; out.append(buffer, static_cast<std::size_t>(got))) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (poll(&p, 1, std::max<int>(0, static_cast<int>(left.count()))) != 1) break;
    if ((got = recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0)) <= 0) break;
  }
  if (closed != nullptr) *closed = got <= 0;
  return out;
}

inline bool PeerClosed(int fd, int ms) {
  bool closed = false;
  return ReadUpTo(fd, 1 << 20, ms, &closed), closed;
}

inline bool SendBytes(int fd, std::string_view bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

}  // namespace corvina::testing
