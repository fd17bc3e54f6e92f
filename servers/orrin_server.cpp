#include "servers/orrin_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>

#include "platform/fd_io.h"

namespace corvina::servers {

std::string OrrinFileBase(const std::tm& local, std::string_view name) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.4d-%.2d-%.2d %.2d-%.2d-%.2d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  const std::string cleaned = media::CleanRecordingName(name);
  return cleaned.empty() ? std::string(stamp) : std::string(stamp) + " " + cleaned;
}

OrrinServer::OrrinServer(OrrinServerConfig config, std::function<void(std::string_view)> say,
                         platform::LogSink& errors, const platform::MediaClock& clock, const platform::WallClock& wall)
    : config_(std::move(config)), say_(std::move(say)), errors_(errors), clock_(clock), wall_(wall) {}

OrrinServer::~OrrinServer() { CloseAll(); }

bool OrrinServer::Start(std::string* error) { return listener_.Listen(config_.listen, error, false); }

bool OrrinServer::Poll(int waitMs, int wakeFd) {
  std::vector<pollfd> fds;
  fds.push_back({wakeFd, POLLIN, 0});
  fds.push_back({listener_.Fd(), POLLIN, 0});
  for (const Client& c : clients_) {
    fds.push_back({c.fd.Get(), static_cast<short>(c.unsent.empty() ? POLLIN : POLLIN | POLLOUT), 0});
  }
  // Wake in time for the earliest opening deadline.
  const std::int64_t now = clock_.NowMs();
  for (const Client& c : clients_) {
    if (!c.reader.Opened()) {
      const std::int64_t left = std::max<std::int64_t>(0, c.acceptedMs + config_.openingTimeoutMs - now);
      waitMs = static_cast<int>(std::min<std::int64_t>(waitMs, left));
    }
  }
  if (poll(fds.data(), fds.size(), waitMs) < 0) fds.assign(fds.size(), pollfd{-1, 0, 0});
  std::size_t i = 2;
  for (Client& c : clients_) Serve(c, fds[i++].revents);
  if (fds[1].revents & POLLIN) AcceptAll();
  const std::int64_t after = clock_.NowMs();
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (!it->reader.Opened() && after - it->acceptedMs >= config_.openingTimeoutMs) it->done = true;
    if (it->done) {
      Finish(*it);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
  return wakeFd >= 0 && (fds[0].revents & POLLIN) != 0;
}

void OrrinServer::AcceptAll() {
  for (;;) {
    platform::UniqueFd fd = listener_.Accept();
    if (!fd) return;
    if (clients_.size() >= config_.maxClients) continue;  // closed at once: the server is full
    Client& c = clients_.emplace_back();
    c.fd = std::move(fd);
    c.acceptedMs = clock_.NowMs();
  }
}

void OrrinServer::Serve(Client& client, short revents) {
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
  client.reader.Append(std::string_view(buffer, static_cast<std::size_t>(n)));
  Handle(client);
}

void OrrinServer::Handle(Client& client) {
  std::string text;
  std::uint8_t frame[media::kGsmFrameBytes];
  std::int32_t samples[media::kFrameSamples];
  while (!client.done && !client.closeWhenSent) {
    switch (client.reader.Next(&text, frame)) {
      case media::OrrinStreamReader::Item::kNeedMore:
        return;
      case media::OrrinStreamReader::Item::kGreeting: {
        const bool known = config_.codes.empty() ||
                           std::find(config_.codes.begin(), config_.codes.end(), text) != config_.codes.end();
        Reply(client, known ? media::kOrrinAccepted : media::kOrrinRefused, !known);
        break;
      }
      case media::OrrinStreamReader::Item::kName:
        OpenFile(client, text);
        break;
      case media::OrrinStreamReader::Item::kFrame:
        client.decoder.DecodeFrame(frame, samples);
        if (client.sink) client.sink->Write(samples);
        break;
      case media::OrrinStreamReader::Item::kInvalid:
        client.done = true;
        return;
    }
  }
}

void OrrinServer::Reply(Client& client, std::uint8_t code, bool close) {
  client.unsent.push_back(static_cast<char>(media::kOrrinReplyTag));
  client.unsent.push_back(static_cast<char>(code));
  client.closeWhenSent = close;
  Flush(client);
}

void OrrinServer::Flush(Client& client) {
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

void OrrinServer::OpenFile(Client& client, std::string_view name) {
  const std::tm local = wall_.LocalTime(wall_.Now());
  client.sink = media::WavRecordingSink::Open(config_.folder, OrrinFileBase(local, name), &errors_);
  if (client.sink->IsOpen()) {
    say_("opened " + client.sink->Target().where);
  } else {
    client.sink.reset();
    client.done = true;
  }
}

void OrrinServer::Finish(Client& client) {
  if (client.sink) {
    client.sink->Close();
    say_("closed " + client.sink->Target().where);
    client.sink.reset();
  }
  client.fd.Reset();
}

void OrrinServer::CloseAll() {
  for (Client& c : clients_) Finish(c);
  clients_.clear();
}

}  // namespace corvina::servers
