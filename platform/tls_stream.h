// A TLS client session over a connected TCP socket (OpenSSL): TLS 1.2 or later, the server's
// certificate checked against the system's trusted authorities (SSL_CERT_FILE / SSL_CERT_DIR
// when set) and its name against the host the caller meant to reach. Waits are bounded and cut
// short by an optional stop event, as TcpConnection's are.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/tcp_connection.h"

namespace corvina::platform {

class TlsStream {
 public:
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Runs the handshake on `fd` (non-blocking, connected, still owned by the caller) for server
  // `host`. Nothing when it failed, was stopped or timed out; `why` says which.
  static std::unique_ptr<TlsStream> Handshake(int fd, const std::string& host, int timeoutMs, Event* stop,
                                              NetResult* why);

  NetResult SendAll(std::string_view data, int timeoutMs, Event* stop);
  // Up to `maxBytes` more bytes appended to `out`; `closed` set when the peer closed.
  NetResult ReceiveSome(std::string* out, std::size_t maxBytes, int timeoutMs, Event* stop, bool* closed);

 private:
  struct Session;
  explicit TlsStream(std::unique_ptr<Session> session);

  std::unique_ptr<Session> session_;  // owned by the thread that uses the stream
};

}  // namespace corvina::platform
