// A SipEndpoint for tests: fixed addresses, a table of resolvable names, and records of what
// was sent, cached and logged.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/name_resolver.h"
#include "sip/sip_endpoint.h"

namespace corvina::sip::testing {

class TableResolver final : public platform::NameResolver {
 public:
  std::map<std::string, std::uint32_t> names;
  std::function<void()> onLookUp;  // runs inside each look-up
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override {
    if (onLookUp) onLookUp();
    if (auto dotted = platform::ParseIpv4(host)) return dotted;
    auto it = names.find(std::string(host));
    if (it == names.end()) return std::nullopt;
    return it->second;
  }
};

class RecordingLog final : public platform::LogSink {
 public:
  std::vector<std::pair<std::string, std::uint8_t>> entries;
  void Log(std::string_view message, std::uint8_t level) override { entries.emplace_back(message, level); }
};

class FakeEndpoint final : public SipEndpoint {
 public:
  struct Sent {
    SocketAddress to;
    std::string text;
    std::uint32_t at = 0;  // the tick count when it was sent
  };
  struct Cached {
    std::string answeredCallId;
    std::uint16_t answeredStatus;
    SocketAddress to;
    std::string text;
  };

  OwnAddresses own{"203.0.113.7", 5090, "192.168.1.20", 5070};
  IdGenerator ids{1234, 1000, 5};
  TableResolver resolver;
  RecordingLog log;
  std::uint32_t now = 123456;
  std::vector<Sent> sent;
  std::vector<Cached> cached;

  OwnAddresses Addresses() const override { return own; }
  IdGenerator& Ids() override { return ids; }
  platform::NameResolver& Resolver() override { return resolver; }
  platform::LogSink& Log() override { return log; }
  std::uint32_t NowMs() const override { return now; }
  void Send(const SocketAddress& to, std::string_view text) override { sent.push_back({to, std::string(text), now}); }
  void RecordSent(const SipMessage& answered, const SocketAddress& to, std::string_view text) override {
    cached.push_back({std::string(answered.FindHeader(kCallId)), answered.statusCode, to, std::string(text)});
  }
};

}  // namespace corvina::sip::testing
