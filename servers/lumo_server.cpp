#include "servers/lumo_server.h"

#include <algorithm>
#include <limits>

#include "media/g711.h"
#include "media/rate_converter.h"
#include "media/wav_file.h"

namespace corvina::servers {
namespace {

const std::string_view kLogin(reinterpret_cast<const char*>(media::kLumoGreeting), sizeof media::kLumoGreeting);
constexpr std::int64_t kFrameMs = 20;
constexpr std::int64_t kFirstFrames = 50;  // one second at once
constexpr std::size_t kFrameWireBytes = kLumoFrameHeader.size() + kLumoFrameBytes;
constexpr std::size_t kMaxWaiting = kFirstFrames * kFrameWireBytes;  // frames waiting for a socket
// The kernel's share of a client's backlog, a few seconds: enough for any network at 8000 bytes
// a second, and a client that stops reading is noticed within seconds, not hours.
constexpr int kSendBufferBytes = 16384;

}  // namespace

bool LoadLumoMusic(const std::string& path, std::vector<std::uint8_t>* music, std::string* error) {
  media::WavReader reader;
  const media::WavError opened = reader.Open(path);
  if (opened != media::WavError::kNone) {
    *error = "cannot read " + path + ": " + std::string(media::WavErrorText(opened));
    return false;
  }
  const int rate = static_cast<int>(reader.Format().sampleRate);
  media::MonoResampler resampler(rate, 8000);
  std::vector<std::int32_t> block(4096);
  std::vector<std::int32_t> samples;
  for (std::size_t n; (n = reader.ReadMono(block)) > 0;) {
    const std::span<const std::int32_t> got(block.data(), n);
    if (rate == 8000) {
      samples.insert(samples.end(), got.begin(), got.end());
    } else {
      resampler.Process(got, samples);
    }
  }
  music->assign(samples.size(), 0);
  media::MulawEncode(samples, *music);
  if (music->empty()) *error = path + " holds no audio";
  return !music->empty();
}

LumoServer::LumoServer(const LumoServerConfig& config, std::vector<std::uint8_t> music,
                       const platform::MediaClock& clock)
    : ClientLoop(config.listen, {config.maxClients, config.openingTimeoutMs, kSendBufferBytes}, clock),
      stallTimeoutMs_(config.stallTimeoutMs),
      music_(std::move(music)) {}

LumoServer::~LumoServer() { CloseAll(); }

void LumoServer::Received(Client& base, std::string_view bytes) {
  auto& client = static_cast<LumoClient&>(base);
  if (client.opened) return;  // nothing more is expected after the login
  client.login.append(bytes.substr(0, kLogin.size() - client.login.size()));
  if (!kLogin.starts_with(client.login)) {
    client.done = true;  // not a phone: closed without a word
    return;
  }
  if (client.login.size() < kLogin.size()) return;
  client.opened = true;
  client.startMs = client.lastTakenMs = clock_.NowMs();
  Send(client, kLumoRateReply);
  Due(client, client.startMs);
}

std::int64_t LumoServer::Due(Client& base, std::int64_t now) {
  auto& client = static_cast<LumoClient&>(base);
  if (!client.opened || client.done) return std::numeric_limits<std::int64_t>::max();
  if (client.unsent.size() < client.lastUnsent || client.unsent.empty()) client.lastTakenMs = now;
  const std::int64_t due = kFirstFrames + (now - client.startMs) / kFrameMs;
  bool added = false;
  for (; client.frames < due; ++client.frames) {
    const bool room = client.unsent.size() + kFrameWireBytes <= kMaxWaiting;
    if (room) client.unsent.append(kLumoFrameHeader);
    for (std::size_t left = kLumoFrameBytes; left > 0;) {  // a skipped frame still moves the music on
      const std::size_t n = std::min(left, music_.size() - client.at);
      if (room) client.unsent.append(reinterpret_cast<const char*>(music_.data() + client.at), n);
      client.at = (client.at + n) % music_.size();
      left -= n;
    }
    added = added || room;
  }
  if (added) Flush(client);
  if (client.unsent.empty()) client.lastTakenMs = now;
  client.lastUnsent = client.unsent.size();
  if (now - client.lastTakenMs >= stallTimeoutMs_) client.done = true;
  const std::int64_t nextFrame = client.startMs + (client.frames - kFirstFrames + 1) * kFrameMs;
  return client.unsent.empty() ? nextFrame : std::min(nextFrame, client.lastTakenMs + stallTimeoutMs_);
}

}  // namespace corvina::servers
