// Plain loopback TCP sockets for tests that play the other end of a protocol: a listener,
// a client, and bounded reads and writes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvina::testing {

inline sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(0x7F000001);
  a.sin_port = htons(port);
  return a;
}

// Listens on 127.0.0.1 with a free port; `receiveBuffer` > 0 shrinks what accepted sockets take.
struct RawListener {
  explicit RawListener(int backlog = 8, int receiveBuffer = 0) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, backlog);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~RawListener() { close(fd); }
  // A connection accepted within `ms`, or -1.
  int Accept(int ms) const {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1 ? accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }
  int fd;
  std::uint16_t port;
};

inline int ConnectTo(std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Up to `n` bytes, whatever has come within `ms` (fewer when the peer closed or time ran out).
inline std::string ReadUpTo(int fd, std::size_t n, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::string out;
  char buffer[4096];
  while (out.size() < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) break;
    const ssize_t got = recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
    if (got <= 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return out;
}

// True once the peer has closed (or reset) the connection within `ms`.
inline bool PeerClosed(int fd, int ms) {
  ReadUpTo(fd, 1 << 20, ms);
  pollfd p{fd, POLLIN, 0};
  char c;
  return poll(&p, 1, 0) == 1 && recv(fd, &c, 1, MSG_DONTWAIT) <= 0;
}

inline bool SendBytes(int fd, std::string_view bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

}  // namespace corvina::testing
