// The engine's thread shell on a real loopback socket:
// - with its port taken it binds the next one and logs "SIP Private IP is: %s:%d";
// - it answers a request that arrives on the socket, and traces both datagrams to the daily
//   trace file when SipTraceOn is set;
// - a rebind request moves it to the port the settings name now;
// - it starts the call terminator, and on stop lets it go idle (1500 ms) and stops it;
// - an INVITE arriving during the public address query reaches its line (which rings) only
//   once the engine is ready, so the line's wait for readiness never runs on the engine thread;
// - idle, it waits until the core's next deadline in one go (a fake wait moves a fake clock).
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/memory_settings_store.h"
#include "platform/udp_socket.h"
#include "engine_harness.h"
#include "sip/response_composer.h"
#include "sip/sip_engine.h"
#include "sip/wire_format.h"
#include "tests/support/poll_until.h"
#include "tests/support/temp_folder.h"

namespace corvina::sip {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

class LockedLog final : public platform::LogSink {
 public:
  void Log(std::string_view message, std::uint8_t) override {
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.emplace_back(message);
  }
  bool Has(const std::string& text) {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::find(entries_.begin(), entries_.end(), text) != entries_.end();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

// During its query the real NAT traversal hands back what is not its answer, as this one does
// with `arriving` (from `from`).
class LoopbackAddresses final : public PublicAddressSource {
 public:
  std::string arriving;
  SocketAddress from;
  std::string LocalAddress() override { return "127.0.0.1"; }
  PublicAddressResult PublicAddress(platform::UdpSocket&, platform::Event&, const PublicAddressRequest& request,
                                    const OtherTrafficSink& other) override {
    if (!arriving.empty()) other(std::exchange(arriving, {}), from);
    return PublicAddressResult{request.localAddress, request.localPort, false, false};
  }
  std::string_view StunServerSettingName() const override { return "STUNServer1"; }
};

class RecordingTerminator final : public TerminatorControl {
 public:
  void StartIfStopped() override { ++starts; }
  bool RaiseAndWaitIdle(int timeoutMs) override {
    idleWait = timeoutMs;
    return true;
  }
  void Stop() override { ++stops; }
  std::atomic<int> starts{0};
  std::atomic<int> idleWait{0};
  std::atomic<int> stops{0};
};

TEST(SipEngineShell, TakenPortMovesToTheNextAndRequestsAreAnsweredAndTraced) {
  corvina::testing::TempFolder folder("engine");
  // A base port whose successor is free as well, held by another socket.
  platform::UdpSocket blocker;
  std::uint16_t base = 0;
  for (int attempt = 0; attempt < 20 && base == 0; ++attempt) {
    platform::UdpSocket probe;
    ASSERT_TRUE(probe.Bind({0, 0}).Ok());
    std::uint16_t candidate = probe.Local()->port;
    if (candidate >= 65535) continue;
    platform::UdpSocket next;
    if (!next.Bind({0, static_cast<std::uint16_t>(candidate + 1)}).Ok()) continue;
    next.Close();
    probe.Close();
    if (blocker.Bind({0, candidate}).Ok()) base = candidate;
  }
  ASSERT_NE(base, 0);

  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  settings.SetSettingInt("SIP", "Port", base);
  settings.SetSettingString("SIP", "STUN", "0");
  settings.SetSettingString("Settings", "SipTraceOn", "1");
  platform::SystemNameResolver resolver;
  LockedLog log;
  platform::SystemTickClock ticks;
  platform::SystemWallClock wall;
  platform::UdpSocket peer;
  ASSERT_TRUE(peer.Bind({kLoopback, 0}).Ok());
  LoopbackAddresses addresses;
  addresses.from = *peer.Local();
  addresses.arriving =
      "INVITE sip:100@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP " + FormatSocketAddress(addresses.from) +
      ";branch=z9hG4bKq\r\nFrom: <sip:200@b>;tag=q\r\nTo: <sip:100@a>\r\nCall-ID: q\r\nCSeq: 1 INVITE\r\n\r\n";
  SipEngine engine(SipEngine::Services{resolver, log, ticks, wall, settings, addresses, folder.Path().string(), 77});
  auto line = std::make_shared<testing::FakeLine>("100", 0, true);
  std::atomic<int> offersBeforeReady{0};
  line->onOffer = [&](const SipMessage& invite) {
    if (!engine.Ready()) ++offersBeforeReady;  // a line's dialog then waits for readiness: a stall
    SendResponse(engine.Endpoint(), invite, 180, "Ringing");
  };
  engine.Lines().Add(line);
  RecordingTerminator terminator;
  engine.SetTerminator(&terminator);
  ASSERT_TRUE(engine.StartEngine());
  ASSERT_TRUE(engine.WaitReady(5000));
  EXPECT_EQ(terminator.starts, 1);
  const std::uint16_t bound = static_cast<std::uint16_t>(base + 1);
  EXPECT_TRUE(log.Has(FormatWire("SIP Private IP is: 127.0.0.1:%d", {bound})));
  EXPECT_EQ(engine.Endpoint().Addresses().localPort, bound);
  std::uint8_t buffer[4096];
  platform::ReceiveResult r = peer.ReceiveFrom(buffer, 5000);
  ASSERT_EQ(r.status, platform::ReceiveStatus::kDatagram);
  EXPECT_TRUE(std::string_view(reinterpret_cast<char*>(buffer), r.size).starts_with("SIP/2.0 180 Ringing\r\n"));
  EXPECT_EQ(offersBeforeReady.load(), 0);
  const std::string request =
      "OPTIONS sip:nobody@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bKt\r\nFrom: <sip:a@b>;tag=1\r\n"
      "To: <sip:nobody@127.0.0.1>\r\nCall-ID: shell-1\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
  ASSERT_EQ(peer.SendTo({kLoopback, bound}, request), platform::SocketError::kNone);
  r = peer.ReceiveFrom(buffer, 5000);
  ASSERT_EQ(r.status, platform::ReceiveStatus::kDatagram);
  std::string answer(reinterpret_cast<char*>(buffer), r.size);
  EXPECT_TRUE(answer.starts_with("SIP/2.0 404 Not Found\r\n")) << answer;
  // The trace switched off at once: the next request is not in it.
  engine.SetTraceOn(false);
  std::string untraced = request;
  untraced.replace(untraced.find("shell-1"), 7, "shell-2");
  ASSERT_EQ(peer.SendTo({kLoopback, bound}, untraced), platform::SocketError::kNone);
  ASSERT_EQ(peer.ReceiveFrom(buffer, 5000).status, platform::ReceiveStatus::kDatagram);

  // Rebinding picks up a changed port.
  platform::UdpSocket probe;
  ASSERT_TRUE(probe.Bind({0, 0}).Ok());
  const std::uint16_t moved = probe.Local()->port;
  probe.Close();
  settings.SetSettingInt("SIP", "Port", moved);
  engine.RequestRebind();
  EXPECT_TRUE(corvina::testing::PollUntil([&] { return engine.Endpoint().Addresses().localPort == moved; }, 5000));
  EXPECT_TRUE(log.Has(FormatWire("SIP Private IP is: 127.0.0.1:%d", {moved})));

  engine.StopEngine();
  EXPECT_FALSE(engine.IsRunning());
  EXPECT_EQ(terminator.idleWait, 1500);
  EXPECT_EQ(terminator.stops, 1);

  std::tm t = wall.LocalTime(wall.Now());
  std::string traceName = FormatWire("20%.2d-%.2d-%.2d Corvina SipTrace.txt", {t.tm_year % 100, t.tm_mon + 1, t.tm_mday});
  ASSERT_TRUE(std::filesystem::exists(folder.Sub(traceName))) << traceName;
  const std::string trace = corvina::testing::ReadFile(folder.Sub(traceName));
  const std::string peerText = FormatSocketAddress(*peer.Local());
  EXPECT_NE(trace.find(" UDP Packet Received from " + peerText + " <<<<"), std::string::npos);
  EXPECT_NE(trace.find(request + "\r\n" + std::string(64, '-') + "\r\n\r\n"), std::string::npos);
  EXPECT_NE(trace.find(" UDP Packet Sent to " + peerText + " >>>>"), std::string::npos);
  EXPECT_NE(trace.find(answer), std::string::npos);
  EXPECT_EQ(trace.find("shell-2"), std::string::npos);
}

TEST(SipEngineShell, PortSearchStopsAtTheLastPort) {
  platform::UdpSocket blocker;
  ASSERT_TRUE(blocker.Bind({0, 65535}).Ok()) << "port 65535 is in use on this machine";
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  settings.SetSettingInt("SIP", "Port", 65535);
  platform::SystemNameResolver resolver;
  LockedLog log;
  platform::SystemTickClock ticks;
  platform::SystemWallClock wall;
  LoopbackAddresses addresses;
  SipEngine engine(SipEngine::Services{resolver, log, ticks, wall, settings, addresses, "", 77});
  ASSERT_TRUE(engine.StartEngine());
  ASSERT_TRUE(engine.WaitReady(5000));
  EXPECT_TRUE(log.Has(
      "SIP Engine BindToListenPort FAILED - wait to try again in 20 seconds - if this continues, make sure that the "
      "SIP port you selected is not being used by another application."));
  EXPECT_EQ(engine.Endpoint().Addresses().localPort, 0);
  engine.StopEngine();  // ends the 20 s wait at once
  EXPECT_FALSE(engine.IsRunning());
}

TEST(SipEngineShell, AnIdleEngineSleepsUntilItsCoreHasSomethingToDo) {
  platform::UdpSocket registrar;  // never answers
  ASSERT_TRUE(registrar.Bind({kLoopback, 0}).Ok());
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  settings.SetSettingInt("SIP", "Port", registrar.Local()->port + 1);  // or the next free one
  platform::SystemNameResolver resolver;
  LockedLog log;
  platform::FakeTickClock ticks(50000);
  platform::SystemWallClock wall;
  LoopbackAddresses addresses;
  std::vector<int> waits;  // engine thread until it has ended
  SipEngine* engine = nullptr;
  SipEngine::Services services{resolver, log, ticks, wall, settings, addresses, "", 77};
  services.wait = [&](std::span<const platform::WaitSource>, int timeoutMs, int*) {
    waits.push_back(timeoutMs);
    ticks.Advance(static_cast<std::uint32_t>(timeoutMs));
    if (waits.size() < 10) return platform::WaitOutcome::kTimedOut;
    engine->RequestStop();
    return platform::WaitOutcome::kStopped;
  };
  SipEngine shell(services);
  engine = &shell;
  const std::string server = FormatSocketAddress(*registrar.Local());
  shell.Registrations().Add(RegistrationKey{"127.0.0.1", server, "sip:100@127.0.0.1", "100", "100", "pw"}, 0,
                            ticks.NowMs());
  ASSERT_TRUE(shell.StartEngine());
  ASSERT_TRUE(shell.Join(5000));
  // REGISTER every 7000 ms until the give-up after 40 s, then only the 20 s check-ins.
  EXPECT_EQ(waits, (std::vector<int>{7000, 7000, 7000, 7000, 7000, 7000, 20000, 20000, 20000, 20000}));
  std::uint8_t buffer[4096];
  int registers = 0;
  while (registrar.ReceiveNow(buffer).status == platform::ReceiveStatus::kDatagram) ++registers;
  EXPECT_EQ(registers, 7);
}

}  // namespace
}  // namespace corvina::sip
