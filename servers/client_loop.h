// The part every server of this folder shares: a listening socket and its clients, served from
// one poll loop on one thread. Every socket is non-blocking, so a slow or silent client never
// holds up the others. A client must send its opening bytes within the opening time; past the
// client limit a new connection is closed at once. Replies go through a per-client buffer that
// is flushed as the socket takes it (MSG_NOSIGNAL: a client gone away never raises SIGPIPE).
//
// A server derives from ClientLoop with its own client type and handles what arrives.
#pragma once

#include <cstdint>
#include <limits>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/tcp_listener.h"
#include "platform/unique_fd.h"

namespace corvina::servers {

struct ClientLimits {
  std::size_t maxClients = 16;
  std::int64_t openingTimeoutMs = 10000;  // from the connection to the end of the opening bytes
  int sendBufferBytes = 0;                // SO_SNDBUF of each client socket; 0: the system's
};

class ClientLoop {
 public:
  ClientLoop(std::string listen, ClientLimits limits, const platform::MediaClock& clock)
      : clock_(clock), listen_(std::move(listen)), limits_(limits) {}
  virtual ~ClientLoop() = default;
  ClientLoop(const ClientLoop&) = delete;
  ClientLoop& operator=(const ClientLoop&) = delete;

  // On failure `error` says why and `errorNumber` (when given) gets the errno.
  bool Start(std::string* error, int* errorNumber = nullptr);
  // "a.b.c.d:port" actually listened on.
  const std::string& Address() const { return listener_.Address(); }
  // Waits up to `waitMs` for the sockets (and `wakeFd` when not -1) and serves what is ready,
  // then drops clients that are past their opening time. True when `wakeFd` became readable.
  bool Poll(int waitMs, int wakeFd = -1);
  // Ends every client (the server's Closing sees each).
  void CloseAll();
  std::size_t ClientCount() const { return clients_.size(); }

 protected:
  struct Client {
    virtual ~Client() = default;
    platform::UniqueFd fd;
    std::int64_t acceptedMs = 0;
    bool opened = false;          // the opening bytes are in: no more opening deadline
    std::string unsent;           // bytes the socket has not taken yet
    bool closeWhenSent = false;   // close once `unsent` is out
    bool done = false;            // to be closed at the end of this poll
  };

  virtual std::unique_ptr<Client> NewClient() = 0;
  // `bytes` arrived from the client.
  virtual void Received(Client& client, std::string_view bytes) = 0;
  // Called on every poll for every live client: queue what is due by `now`, and return when the
  // server next wants to be woken for it (never: the largest value).
  virtual std::int64_t Due(Client&, std::int64_t /*now*/) { return std::numeric_limits<std::int64_t>::max(); }
  // The client is about to be closed.
  virtual void Closing(Client&) {}

  // Queues `bytes` and sends what the socket takes now.
  void Send(Client& client, std::string_view bytes, bool closeAfter = false);
  void Flush(Client& client);
  const platform::MediaClock& clock_;

 private:
  void AcceptAll();
  void Serve(Client& client, short revents);

  const std::string listen_;
  const ClientLimits limits_;
  platform::TcpListener listener_;
  std::list<std::unique_ptr<Client>> clients_;  // the server's one thread
};

}  // namespace corvina::servers
