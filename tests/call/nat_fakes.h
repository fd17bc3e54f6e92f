// Fakes for the NAT traversal tests: a log that records, a datagram channel driven by a fake
// clock, and a settings store in memory.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "call/datagram_channel.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"

namespace corvina::call::testing {

class RecordingLog final : public platform::LogSink {
 public:
  std::vector<std::pair<std::string, std::uint8_t>> entries;
  void Log(std::string_view message, std::uint8_t level) override { entries.emplace_back(message, level); }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& e : entries) texts.push_back(e.first);
    return texts;
  }
};

struct SettingsFixture {
  platform::MemorySettingsStore store;
  platform::Settings settings{store};
  void Set(std::string_view name, std::string_view value) { settings.SetSettingString("SIP", name, value); }
  std::string Get(std::string_view name) { return settings.GetSettingString("SIP", name, "<missing>"); }
};

// Replies are queued with the time (ms after the first send) at which they arrive; a receive
// without a due reply advances the clock to the next arrival or the end of its time-out.
class ScriptedChannel final : public DatagramChannel {
 public:
  struct Arrival {
    std::uint32_t atMs;
    std::string bytes;
  };
  explicit ScriptedChannel(platform::FakeTickClock& clock) : clock_(clock) {}

  std::vector<std::pair<platform::SocketAddress, std::string>> sent;
  std::deque<Arrival> arrivals;
  // Answers `datagram` sent to the channel by queuing the reply `delayMs` later.
  std::function<void(const std::string& request, ScriptedChannel& self)> onSend;
  bool stopAfterFirstSend = false;

  bool SendTo(const platform::SocketAddress& to, std::span<const std::uint8_t> bytes) override {
    sent.emplace_back(to, std::string(bytes.begin(), bytes.end()));
    if (onSend) onSend(sent.back().second, *this);
    return true;
  }
  ChannelWait Receive(int timeoutMs, std::size_t maxBytes, std::string* datagram,
                      platform::SocketAddress* from) override {
    if (stopAfterFirstSend) return ChannelWait::kStopped;
    const std::uint32_t now = clock_.NowMs();
    if (!arrivals.empty() && static_cast<std::int32_t>(arrivals.front().atMs - now) <= timeoutMs) {
      if (static_cast<std::int32_t>(arrivals.front().atMs - now) > 0) clock_.Set(arrivals.front().atMs);
      *datagram = arrivals.front().bytes.substr(0, maxBytes);
      *from = platform::SocketAddress{0x7F000001, 3478};
      arrivals.pop_front();
      return ChannelWait::kDatagram;
    }
    clock_.Advance(static_cast<std::uint32_t>(timeoutMs));
    return ChannelWait::kTimedOut;
  }

 private:
  platform::FakeTickClock& clock_;
};

}  // namespace corvina::call::testing
