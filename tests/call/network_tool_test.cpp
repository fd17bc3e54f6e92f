// Proves the network setup tool's decisions on a fake clock with scripted io: each way through
// (STATIC, no internet, public address, STUN with the two fastest servers, one server, a
// symmetric NAT with a refusing gateway), the firewall question's Yes and No, the SIP port walk's
// end at 65534, and a cancel at every wait ending the tool with the engine started again. The
// wire cases (stund, a held port, the gateway) are in tests/interop/nettool_interop_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>

#include "call/network_tool.h"
#include "nat_fakes.h"

namespace corvina::call {
namespace {

struct FakeIo final : NetworkToolIo, NetworkToolDisplay {
  explicit FakeIo(platform::FakeTickClock& c) : clock(c) {}
  platform::FakeTickClock& clock;
  bool connected = true, engineRunning = true;
  std::set<int> busy;
  std::map<std::string, std::uint32_t> stunDelay;  // answering servers and their answer time
  std::set<std::string> changeIpFromOther;         // servers whose change-IP answer comes from elsewhere
  UpnpStatus upnp = UpnpStatus::kFailed;
  std::string local = "192.168.1.23";
  std::deque<FirewallAnswer> answers;  // then No
  int cancelAtWait = -1;               // the n-th wait (0-based) is cut short by Cancel
  int waits = 0, starts = 0;
  std::vector<int> bound, questions;
  std::vector<std::string> queried, messages;
  std::vector<double> fractions;
  std::vector<std::uint16_t> mappedPorts;

  bool Cut() { return waits++ == cancelAtWait; }
  bool InternetConnected(std::string_view) override { return connected; }
  bool EngineRunning() override { return engineRunning; }
  EngineStop StopEngine() override { return Cut() ? EngineStop::kCancelled : EngineStop::kStopped; }
  void StartEngine() override { ++starts; }
  PortBind Bind(int port) override {
    if (busy.count(port)) return PortBind::kInUse;
    bound.push_back(port);
    return PortBind::kBound;
  }
  void CloseSocket() override {}
  StunOutcome QueryStun(std::string_view server) override {
    queried.emplace_back(server);
    if (Cut()) return {StunStatus::kStopped, {}, {}};
    auto it = stunDelay.find(std::string(server));
    clock.Advance(it == stunDelay.end() ? 690 : it->second);
    return {it == stunDelay.end() ? StunStatus::kFailed : StunStatus::kMapped, {}, {}};
  }
  ChangeIpReply QueryChangeIp(std::string_view server) override {
    queried.push_back("change " + std::string(server));
    if (Cut()) return {StunStatus::kStopped, {}, {}};
    const bool other = changeIpFromOther.count(std::string(server)) > 0;
    return {StunStatus::kMapped, {0x01020304, 3478}, {other ? 0x01020305u : 0x01020304u, 3479}};
  }
  UpnpOutcome MapPort(std::uint16_t external, std::uint16_t, std::string_view) override {
    mappedPorts.push_back(external);
    return Cut() ? UpnpOutcome{UpnpStatus::kStopped, {}} : UpnpOutcome{upnp, "203.0.113.7"};
  }
  std::string LocalAddress() override { return local; }
  FirewallAnswer AskFirewall(int port) override {
    questions.push_back(port);
    if (Cut()) return FirewallAnswer::kCancel;
    if (answers.empty()) return FirewallAnswer::kNo;
    const FirewallAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowStep(std::string_view) override {}
  void SetFraction(double f) override { fractions.push_back(f); }
  void ShowMessage(std::string_view title, std::string_view) override { messages.emplace_back(title); }
};

struct Rig {
  platform::FakeTickClock clock{5000};
  FakeIo io{clock};
  testing::SettingsFixture f;
  testing::RecordingLog log;
  NetworkToolResult Run() {
    NetworkTool t(f.settings, log, clock, io, io, {"s1", "s2", "s3", "s4", "s5"});
    return t.Run();
  }
  std::vector<std::string> Lines(std::uint8_t level) const {
    std::vector<std::string> lines;
    for (const auto& [text, l] : log.entries) {
      if (l == level) lines.push_back(text);
    }
    return lines;
  }
  bool Logged(const std::string& text) const {
    const auto lines = Lines(platform::kLogInfo);
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  }
};

// Every server answers; s3 then s1 are the fastest.
void AllAnswer(Rig& r) { r.io.stunDelay = {{"s1", 40}, {"s2", 90}, {"s3", 20}, {"s4", 60}, {"s5", 70}}; }

TEST(NetworkTool, EachWayThroughWritesItsSettings) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> script;
    NetworkToolResult result;
    std::vector<std::string> written;  // STUN, UPNP, Active, STUNServer1, STUNServer2, Port
    std::vector<std::string> logged;   // among the information lines
    std::vector<std::string> messages;
  };
  const std::string m = "<missing>";
  const Case cases[] = {
      {"static", [](Rig& r) { r.f.Set("STATIC", "1"); }, NetworkToolResult::kEnded, {m, m, m, m, m, m}, {},
       {"Networking Setup Wizard"}},
      {"no internet", [](Rig& r) { r.io.connected = false; }, NetworkToolResult::kEnded, {m, m, m, m, m, m}, {},
       {"Networking Setup Wizard"}},
      {"public address", [](Rig& r) { AllAnswer(r); r.io.local = "62.1.2.3"; }, NetworkToolResult::kFinished,
       {"0", "0", "0", m, m, "5070"}, {"This computer connects to Internet directly", "External IP is: 62.1.2.3"}, {}},
      {"stun: fastest first, the second fastest passes the change-IP test",
       [](Rig& r) { AllAnswer(r); r.io.changeIpFromOther = {"s1"}; }, NetworkToolResult::kFinished,
       {"1", m, "0", "s3", "s1", "5070"}, {"Sip Port 5070 (UDP) opened OK", "Restarting SIP Engine"}, {}},
      {"one stun server keeps the second",
       [](Rig& r) { r.io.stunDelay = {{"s2", 30}}; r.io.changeIpFromOther = {"s2"}; r.f.Set("STUNServer2", "old"); },
       NetworkToolResult::kFinished, {"1", m, "0", "s2", "old", "5070"}, {}, {}},
      {"symmetric, gateway refuses, engine not running",
       [](Rig& r) { AllAnswer(r); r.io.upnp = UpnpStatus::kRefused; r.io.engineRunning = false; },
       NetworkToolResult::kFinished, {"0", "0", "1", m, m, "5070"},
       {"NAT is symmetric so STUN will not work.",
        "UPnP configuration of the firewall is disabled on the server. It should be enabled. See Help for how to do "
        "this.",
        "SIP Network Tool finished"},
       {"Manual Router Setup Required"}},
  };
  for (const Case& c : cases) {
    Rig r;
    c.script(r);
    EXPECT_EQ(r.Run(), c.result) << c.name;
    const std::vector<std::string> got = {r.f.Get("STUN"), r.f.Get("UPNP"), r.f.Get("Active"),
                                          r.f.Get("STUNServer1"), r.f.Get("STUNServer2"), r.f.Get("Port")};
    EXPECT_EQ(got, c.written) << c.name;
    for (const std::string& line : c.logged) EXPECT_TRUE(r.Logged(line)) << c.name << ": " << line;
    EXPECT_EQ(r.io.messages, c.messages) << c.name;
    EXPECT_EQ(r.io.starts, r.io.engineRunning && r.io.waits > 0 ? 1 : 0) << c.name;
    EXPECT_EQ(r.Logged("Stopping SIP Engine"), r.io.starts == 1) << c.name;
    EXPECT_TRUE(r.Lines(platform::kLogError).empty()) << c.name;
  }
}

TEST(NetworkTool, ProgressAndTheGatewaysPort) {
  Rig r;
  AllAnswer(r);
  r.Run();
  EXPECT_EQ(r.io.fractions, (std::vector<double>{0.3, 0.6}));
  EXPECT_EQ(r.io.mappedPorts, std::vector<std::uint16_t>{5093});  // 5070 + 23 for 192.168.1.23
  EXPECT_EQ(r.io.bound, (std::vector<int>{8000, 8001, 8002, 8003, 8004, 8005, 8006, 8007, 8008, 8009, 5070}));
}

TEST(NetworkTool, FirewallQuestionAndPortWalk) {
  // Nobody answers: Yes repeats the four queries, No ends the RTP loop; the SIP port is still
  // written after a No, with an error line instead of "opened OK".
  Rig r;
  r.io.answers = {FirewallAnswer::kYes, FirewallAnswer::kNo, FirewallAnswer::kNo};
  r.Run();
  EXPECT_EQ(r.io.questions, (std::vector<int>{8000, 8000, 5070}));
  EXPECT_EQ(r.io.queried.size(), 4u * 3 + 5);
  EXPECT_EQ(r.f.Get("Port"), "5070");
  EXPECT_EQ(r.Lines(platform::kLogError), std::vector<std::string>{"Sip Port 5070 (UDP) may be blocked by a firewall"});
  // No free port up to 65534: Port stays, the checks still run on a socket of any port.
  Rig end;
  AllAnswer(end);
  end.f.Set("Port", "65533");
  end.io.busy = {65533, 65534};
  end.Run();
  EXPECT_EQ(end.f.Get("Port"), "65533");
  EXPECT_EQ(end.Lines(platform::kLogError),
            std::vector<std::string>{"No free UDP port for SIP from 65533 to 65534; Port stays 65533"});
  EXPECT_EQ(end.io.bound.back(), 0);
  EXPECT_EQ(end.io.mappedPorts, std::vector<std::uint16_t>{20});  // Port 65533 + 23, kept to 16 bits
  EXPECT_EQ(end.f.Get("Active"), "1");
}

TEST(NetworkTool, CancelAtEveryWaitEndsTheToolAndRestartsTheEngine) {
  // The longest way: questions on every port, no STUN, the gateway last.
  Rig full;
  full.io.answers = {FirewallAnswer::kYes};
  full.Run();
  ASSERT_GT(full.io.waits, 20);
  for (int n = 0; n < full.io.waits; ++n) {
    Rig r;
    r.io.answers = {FirewallAnswer::kYes};
    r.io.cancelAtWait = n;
    EXPECT_EQ(r.Run(), NetworkToolResult::kCancelled) << n;
    EXPECT_EQ(r.io.waits, n + 1) << "no wait after the cancel at " << n;
    EXPECT_EQ(r.io.starts, n == 0 ? 0 : 1) << n;
    EXPECT_FALSE(r.Logged("SIP Network Tool finished")) << n;
    EXPECT_EQ(r.f.Get("Active"), "<missing>") << n;
  }
}

}  // namespace
}  // namespace corvina::call
