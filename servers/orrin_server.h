// The Orrin recording server: accepts recording phones over TCP, checks their access code,
// and writes each stream of GSM frames, decoded, to a WAV file named after the start time and
// the recording name. One thread, one poll loop (servers/client_loop.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/gsm_codec.h"
#include "media/orrin_protocol.h"
#include "media/recording_file.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "servers/client_loop.h"

namespace corvina::servers {

struct OrrinServerConfig {
  std::string listen = "127.0.0.1:4080";
  std::string folder = ".";
  std::vector<std::string> codes;  // the access codes let in; empty: any
  std::size_t maxClients = 16;
  std::int64_t openingTimeoutMs = 10000;  // from the connection to the end of the name
};

class OrrinServer final : public ClientLoop {
 public:
  // `say` gets the one line per file opened and closed; `errors` gets what went wrong.
  // Both clocks outlive the server.
  OrrinServer(OrrinServerConfig config, std::function<void(std::string_view)> say, platform::LogSink& errors,
              const platform::MediaClock& clock, const platform::WallClock& wall);
  ~OrrinServer() override;

 private:
  struct OrrinClient : Client {
    media::OrrinStreamReader reader;
    media::GsmDecoder decoder;
    std::shared_ptr<media::WavRecordingSink> sink;
  };

  std::unique_ptr<Client> NewClient() override { return std::make_unique<OrrinClient>(); }
  void Received(Client& client, std::string_view bytes) override;
  void Closing(Client& client) override;
  void Reply(OrrinClient& client, std::uint8_t code, bool close);
  void OpenFile(OrrinClient& client, std::string_view name);

  const OrrinServerConfig config_;
  const std::function<void(std::string_view)> say_;
  platform::LogSink& errors_;
  const platform::WallClock& wall_;
};

// The file's base name: "YYYY-MM-DD HH-MM-SS NAME" with NAME cleaned as the phone cleans it.
std::string OrrinFileBase(const std::tm& local, std::string_view name);

}  // namespace corvina::servers
