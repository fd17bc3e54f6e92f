#include "servers/client_loop.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/fd_io.h"

namespace corvina::servers {

bool ClientLoop::Start(std::string* error, int* errorNumber) {
  const bool ok = listener_.Listen(listen_, error, false);
  if (errorNumber != nullptr) *errorNumber = ok ? 0 : listener_.FailureErrno();
  return ok;
}

bool ClientLoop::Poll(int waitMs, int wakeFd) {
  const std::int64_t now = clock_.NowMs();
  std::vector<pollfd> fds;
  fds.push_back({wakeFd, POLLIN, 0});
  fds.push_back({listener_.Fd(), POLLIN, 0});
  std::int64_t wakeAt = now + waitMs;
  for (const auto& c : clients_) {
    wakeAt = std::min(wakeAt, Due(*c, now));
    if (!c->opened) wakeAt = std::min(wakeAt, c->acceptedMs + limits_.openingTimeoutMs);
    fds.push_back({c->fd.Get(), static_cast<short>(c->unsent.empty() ? POLLIN : POLLIN | POLLOUT), 0});
  }
  waitMs = static_cast<int>(std::clamp<std::int64_t>(wakeAt - now, 0, waitMs));
  if (poll(fds.data(), fds.size(), waitMs) < 0) fds.assign(fds.size(), pollfd{-1, 0, 0});
  std::size_t i = 2;
  for (auto& c : clients_) Serve(*c, fds[i++].revents);
  if (fds[1].revents & POLLIN) AcceptAll();
  const std::int64_t after = clock_.NowMs();
  for (auto it = clients_.begin(); it != clients_.end();) {
    Client& c = **it;
    if (!c.opened && after - c.acceptedMs >= limits_.openingTimeoutMs) c.done = true;
    if (!c.done) Due(c, after);
    if (c.done) {
      Closing(c);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
  return wakeFd >= 0 && (fds[0].revents & POLLIN) != 0;
}

void ClientLoop::AcceptAll() {
  for (;;) {
    platform::UniqueFd fd = listener_.Accept();
    if (!fd) return;
    if (clients_.size() >= limits_.maxClients) continue;  // closed at once: the server is full
    if (limits_.sendBufferBytes > 0) {
      setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUF, &limits_.sendBufferBytes, sizeof limits_.sendBufferBytes);
    }
    Client& c = *clients_.emplace_back(NewClient());
    c.fd = std::move(fd);
    c.acceptedMs = clock_.NowMs();
  }
}

void ClientLoop::Serve(Client& client, short revents) {
  if (client.done || revents == 0) return;
  if (revents & POLLOUT) Flush(client);
  if ((revents & (POLLIN | POLLHUP | POLLERR)) == 0 || client.done) return;
  char buffer[4096];
  const long n = platform::ReadSome(client.fd.Get(), buffer, sizeof buffer);
  if (n == platform::kNothingYet) return;
  if (n <= 0) {
    client.done = true;
    return;
  }
  Received(client, std::string_view(buffer, static_cast<std::size_t>(n)));
}

void ClientLoop::Send(Client& client, std::string_view bytes, bool closeAfter) {
  client.unsent.append(bytes);
  client.closeWhenSent = client.closeWhenSent || closeAfter;
  Flush(client);
}

void ClientLoop::Flush(Client& client) {
  if (!client.unsent.empty()) {
    const ssize_t n = send(client.fd.Get(), client.unsent.data(), client.unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      client.unsent.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      client.done = true;
    }
  }
  if (client.unsent.empty() && client.closeWhenSent) client.done = true;
}

void ClientLoop::CloseAll() {
  for (auto& c : clients_) Closing(*c);
  clients_.clear();
}

}  // namespace corvina::servers
