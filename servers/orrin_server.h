// The Orrin recording server: accepts recording phones over TCP, checks their access code,
// and writes each stream of GSM frames, decoded, to a WAV file named after the start time and
// the recording name. One thread: every socket is non-blocking and served from one poll loop,
// so a slow or silent client never holds up the others.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/gsm_codec.h"
#include "media/orrin_protocol.h"
#include "media/recording_file.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/tcp_listener.h"
#include "platform/unique_fd.h"

namespace corvina::servers {

struct OrrinServerConfig {
  std::string listen = "127.0.0.1:4080";
  std::string folder = ".";
  std::vector<std::string> codes;  // the access codes let in; empty: any
  std::size_t maxClients = 16;
  std::int64_t openingTimeoutMs = 10000;  // from the connection to the end of the name
};

class OrrinServer {
 public:
  // `say` gets the one line per file opened and closed; `errors` gets what went wrong.
  // Both clocks outlive the server.
  OrrinServer(OrrinServerConfig config, std::function<void(std::string_view)> say, platform::LogSink& errors,
              const platform::MediaClock& clock, const platform::WallClock& wall);
  ~OrrinServer();
  OrrinServer(const OrrinServer&) = delete;
  OrrinServer& operator=(const OrrinServer&) = delete;

  bool Start(std::string* error);
  // "a.b.c.d:port" actually listened on.
  const std::string& Address() const { return listener_.Address(); }
  // Waits up to `waitMs` for the sockets (and `wakeFd` when not -1) and serves what is ready,
  // then drops clients that are past their opening time. True when `wakeFd` became readable.
  bool Poll(int waitMs, int wakeFd = -1);
  // Finishes every file and closes every client.
  void CloseAll();
  std::size_t ClientCount() const { return clients_.size(); }

 private:
  struct Client {
    platform::UniqueFd fd;
    std::int64_t acceptedMs = 0;
    media::OrrinStreamReader reader;
    media::GsmDecoder decoder;
    std::shared_ptr<media::WavRecordingSink> sink;
    std::string unsent;             // reply bytes the socket has not taken yet
    bool closeWhenSent = false;     // refused: close once the reply is out
    bool done = false;              // to be closed at the end of this poll
  };

  void AcceptAll();
  void Serve(Client& client, short revents);
  void Handle(Client& client);
  void Reply(Client& client, std::uint8_t code, bool close);
  void Flush(Client& client);
  void OpenFile(Client& client, std::string_view name);
  void Finish(Client& client);

  const OrrinServerConfig config_;
  const std::function<void(std::string_view)> say_;
  platform::LogSink& errors_;
  const platform::MediaClock& clock_;
  const platform::WallClock& wall_;
  platform::TcpListener listener_;
  std::list<Client> clients_;  // the server's one thread
};

// The file's base name: "YYYY-MM-DD HH-MM-SS NAME" with NAME cleaned as the phone cleans it.
std::string OrrinFileBase(const std::tm& local, std::string_view name);

}  // namespace corvina::servers
