// The Lumo on-hold player: phones holding a call connect over TCP, log in with B1 00, get the
// sample rate back (40 1F 00 00: 8000, little-endian) and then the music as 8000 Hz µ-law in
// frames of a 3-byte header (00, then the length 160 little-endian) and 160 bytes: one second
// at once, so that the phone has a store against the network, then one frame every 20 ms. The
// music is one WAV file, read whole at start, played from its beginning to each new client and
// looped.
//
// A client that does not take its frames is never waited for: at most one second of frames
// waits for its socket, later frames are skipped so that it stays in real time, and a client
// that takes nothing for a minute is dropped. One thread, one poll loop (servers/client_loop.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/lumo_stream.h"
#include "platform/clock.h"
#include "servers/client_loop.h"

namespace corvina::servers {

inline constexpr std::string_view kLumoRateReply("\x40\x1F\x00\x00", 4);  // 8000
inline constexpr std::size_t kLumoFrameBytes = 160;                        // 20 ms of µ-law
inline constexpr std::string_view kLumoFrameHeader("\x00\xA0\x00", media::kLumoHeaderBytes);

struct LumoServerConfig {
  std::string listen = "127.0.0.1:606";
  std::size_t maxClients = 16;
  std::int64_t openingTimeoutMs = 10000;  // from the connection to the login
  std::int64_t stallTimeoutMs = 60000;    // a client that takes nothing this long is dropped
};

// The WAV file at `path` as 8000 Hz mono µ-law. False, with the reason in `error`, when it
// cannot be read or holds no audio.
bool LoadLumoMusic(const std::string& path, std::vector<std::uint8_t>* music, std::string* error);

class LumoServer final : public ClientLoop {
 public:
  // `music` must not be empty; the clock outlives the server.
  LumoServer(const LumoServerConfig& config, std::vector<std::uint8_t> music, const platform::MediaClock& clock);
  ~LumoServer() override;

 private:
  struct LumoClient : Client {
    std::string login;            // the opening bytes so far
    std::int64_t startMs = 0;     // when the login was answered
    std::int64_t frames = 0;      // frames sent or skipped since
    std::size_t at = 0;           // next music byte
    std::size_t lastUnsent = 0;   // unsent bytes left at the last look
    std::int64_t lastTakenMs = 0; // when the socket last took bytes
  };

  std::unique_ptr<Client> NewClient() override { return std::make_unique<LumoClient>(); }
  void Received(Client& client, std::string_view bytes) override;
  std::int64_t Due(Client& client, std::int64_t now) override;

  const std::int64_t stallTimeoutMs_;
  const std::vector<std::uint8_t> music_;
};

}  // namespace corvina::servers
