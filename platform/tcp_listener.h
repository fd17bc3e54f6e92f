// A TCP listening socket: on a loopback address for the console phone's control port, on any
// address for the servers that users run for other machines.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace corvina::platform {

inline bool IsLoopback(std::uint32_t address) { return (address >> 24) == 127; }

class TcpListener {
 public:
  TcpListener() = default;
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Listens on "HOST:PORT"; HOST must be a dotted address, and a 127.x.x.x one unless
  // `loopbackOnly` is false (port 0 picks a free one). On failure returns false and says why in
  // `error`.
  bool Listen(const std::string& hostPort, std::string* error, bool loopbackOnly = true);
  // Accepts one waiting client (non-blocking); the result holds no descriptor when none is waiting.
  UniqueFd Accept();
  int Fd() const { return fd_.Get(); }
  // The address actually bound, "127.0.0.1:PORT".
  const std::string& Address() const { return address_; }
  // The errno of the last failed socket, bind or listen (0 when the text was at fault).
  int FailureErrno() const { return failureErrno_; }

 private:
  UniqueFd fd_;
  std::string address_;
  int failureErrno_ = 0;
};

}  // namespace corvina::platform
