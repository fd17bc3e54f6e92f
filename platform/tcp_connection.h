// An outgoing TCP connection with bounded waits: connect, send all and receive, each within a
// time-out and each cut short by an optional stop event (which the waits never consume).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/socket_address.h"

namespace corvina::platform {

class Event;

enum class NetResult { kOk, kTimedOut, kStopped, kFailed };

// Waits until `fd` shows `events` (poll's POLLIN / POLLOUT), at most `timeoutMs`, cut short by
// `stop` when given. Shared by the plain and the TLS streams.
NetResult WaitForFd(int fd, short events, int timeoutMs, Event* stop);

class TcpConnection {
 public:
  TcpConnection() = default;
  ~TcpConnection();
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Asks for a kernel send buffer of about `bytes` on the next Connect (0: the system's), so
  // that a peer that stops reading is noticed by a send time-out within seconds.
  void SetSendBuffer(int bytes) { sendBuffer_ = bytes; }
  NetResult Connect(const SocketAddress& to, int timeoutMs, Event* stop);
  // Sends every byte of `data` before the time-out.
  NetResult SendAll(std::string_view data, int timeoutMs, Event* stop);
  // Waits up to `timeoutMs` for bytes and appends what has arrived to `out`, never letting it
  // grow beyond `maxBytes`. `closed` is set when the peer has closed its side.
  NetResult ReceiveSome(std::string* out, std::size_t maxBytes, int timeoutMs, Event* stop, bool* closed);
  // Receives exactly `bytes` more bytes into `out` before the time-out, however the peer cuts
  // them into pieces. A peer that closes first is kFailed; `out` keeps what did arrive.
  NetResult ReceiveExactly(std::string* out, std::size_t bytes, int timeoutMs, Event* stop);
  // On a connected socket: sends small writes at once (TCP_NODELAY) / marks the segments with
  // the type-of-service byte `tos` (IP_TOS). False when the socket refused.
  bool SetNoDelay();
  bool SetTypeOfService(int tos);
  void Close();
  // The connected socket, for a TLS stream laid over it (-1 when closed); still owned here.
  int Fd() const { return fd_; }

 private:
  // Waits for `events` on the socket; kOk when ready.
  NetResult WaitFor(short events, int timeoutMs, Event* stop);

  int fd_ = -1;          // owned by the thread that uses the connection
  int sendBuffer_ = 0;   // same thread
};

}  // namespace corvina::platform
