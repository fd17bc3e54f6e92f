// An engine core wired to fakes: a recording socket, a name table, a recording log, a fake
// tick clock and settings in memory.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_endpoint.h"
#include "platform/memory_settings_store.h"
#include "sip/engine_core.h"

namespace corvina::sip::testing {

class RecordingSocket final : public DatagramSender {
 public:
  std::vector<FakeEndpoint::Sent> sent;
  void SendDatagram(const SocketAddress& to, std::string_view bytes) override {
    sent.push_back({to, std::string(bytes)});
  }
  std::vector<FakeEndpoint::Sent> Take() { return std::exchange(sent, {}); }
};

class FakeLine final : public IncomingCallLine {
 public:
  FakeLine(std::string user, int state, bool accepts) : user_(std::move(user)), state_(state), accepts_(accepts) {}
  std::string UserName() const override { return user_; }
  int CallState() const override { return state_; }
  bool OfferIncomingCall(std::unique_ptr<SipMessage>& invite) override {
    ++offers;
    if (onOffer) onOffer(*invite);
    if (!accepts_) return false;
    taken = std::move(invite);
    return true;
  }
  int offers = 0;
  std::unique_ptr<SipMessage> taken;
  std::function<void(const SipMessage&)> onOffer;  // runs inside each offer

 private:
  std::string user_;
  int state_;
  bool accepts_;
};

struct EngineHarness {
  RecordingSocket socket;
  TableResolver resolver;
  RecordingLog log;
  platform::FakeTickClock clock{1000000};
  IdGenerator ids{4321, 1000, 7};
  platform::MemorySettingsStore store;
  platform::Settings settings{store};
  EngineCore core{EngineCore::Services{socket, resolver, log, clock, ids, settings, nullptr}, "192.168.1.20"};

  EngineHarness() {
    core.OnBound("192.168.1.20", 5070, clock.NowMs());
    core.OnReady();
  }

  void PublicAddress(std::string address, std::uint16_t port, bool behindNat) {
    PublicAddressResult r;
    r.address = std::move(address);
    r.port = port;
    r.behindNat = behindNat;
    core.OnPublicAddress(r, clock.NowMs());
  }
  void Receive(std::string_view text, SocketAddress from = {0x0A000009, 5060}) {
    core.OnDatagram(text, from, clock.NowMs());
  }
  std::uint32_t Cycle() { return core.RunCycle(clock.NowMs()); }
  // A line of user `user` in `state` that takes offers when `accepts`, added to the core.
  std::shared_ptr<FakeLine> AddLine(std::string user, int state = 0, bool accepts = true) {
    auto line = std::make_shared<FakeLine>(std::move(user), state, accepts);
    return core.Lines().Add(line), line;
  }
  bool Logged(std::string_view text) const {
    for (const auto& e : log.entries) {
      if (e.first == text) return true;
    }
    return false;
  }
};

}  // namespace corvina::sip::testing
