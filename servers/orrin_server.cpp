#include "servers/orrin_server.h"

#include <algorithm>
#include <cstdio>

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
    : ClientLoop(config.listen, {config.maxClients, config.openingTimeoutMs}, clock),
      config_(std::move(config)),
      say_(std::move(say)),
      errors_(errors),
      wall_(wall) {}

OrrinServer::~OrrinServer() { CloseAll(); }

void OrrinServer::Received(Client& base, std::string_view bytes) {
  auto& client = static_cast<OrrinClient&>(base);
  client.reader.Append(bytes);
  std::string text;
  std::uint8_t frame[media::kGsmFrameBytes];
  std::int32_t samples[media::kFrameSamples];
  while (!client.done && !client.closeWhenSent) {
    switch (client.reader.Next(&text, frame)) {
      case media::OrrinStreamReader::Item::kNeedMore:
        client.opened = client.reader.Opened();
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
  client.opened = client.reader.Opened();
}

void OrrinServer::Reply(OrrinClient& client, std::uint8_t code, bool close) {
  const char reply[2] = {static_cast<char>(media::kOrrinReplyTag), static_cast<char>(code)};
  Send(client, std::string_view(reply, 2), close);
}

void OrrinServer::OpenFile(OrrinClient& client, std::string_view name) {
  const std::tm local = wall_.LocalTime(wall_.Now());
  client.sink = media::WavRecordingSink::Open(config_.folder, OrrinFileBase(local, name), &errors_);
  if (client.sink->IsOpen()) {
    say_("opened " + client.sink->Target().where);
  } else {
    client.sink.reset();
    client.done = true;
  }
}

void OrrinServer::Closing(Client& base) {
  auto& client = static_cast<OrrinClient&>(base);
  if (client.sink) {
    client.sink->Close();
    say_("closed " + client.sink->Target().where);
    client.sink.reset();
  }
}

}  // namespace corvina::servers
