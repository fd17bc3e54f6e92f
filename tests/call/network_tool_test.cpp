// Proves the network setup tool's decisions on a fake clock with scripted io: each way through
// (STATIC, no internet, public address, STUN, symmetric NAT with a gateway that maps, refuses or
// is absent), the choice of the two fastest STUN servers, the firewall question's answers, the
// SIP port walk, a cancel at every wait ending the tool with the engine started again.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>

#include "call/network_tool.h"
#include "call/network_tool_texts.h"
#include "nat_fakes.h"

namespace corvina::call {
namespace {

using testing::RecordingLog;
using testing::SettingsFixture;

struct FakeIo final : NetworkToolIo, NetworkToolDisplay {
  explicit FakeIo(platform::FakeTickClock& c) : clock(c) {}
  platform::FakeTickClock& clock;
  // Script.
  bool connected = true, engineRunning = true;
  std::set<int> busy;
  std::map<std::string, std::uint32_t> stunDelay;  // answering servers and their answer time
  std::set<std::string> changeIpFromOther;         // servers whose change-IP answer comes from elsewhere
  UpnpStatus upnp = UpnpStatus::kFailed;
  std::string local = "192.168.1.23";
  std::deque<FirewallAnswer> answers;  // then No
  int cancelAtWait = -1;               // the n-th wait (0-based) is cut short by Cancel
  // Record.
  int waits = 0, starts = 0;
  std::vector<int> bound, questions;
  std::vector<std::string> queried, steps, messages;
  std::vector<double> fractions;
  std::vector<std::uint16_t> mappedPorts;

  bool Cut() { return waits++ == cancelAtWait; }
  bool InternetConnected(std::string_view) override { return connected; }
  EngineStop StopEngine() override {
    return Cut() ? EngineStop::kCancelled : EngineStop::kStopped;
  }
  bool EngineRunning() override { return engineRunning; }
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
    if (Cut()) return {UpnpStatus::kStopped, {}};
    return {upnp, "203.0.113.7"};
  }
  std::string LocalAddress() override { return local; }
  FirewallAnswer AskFirewall(int port) override {
    questions.push_back(port);
    if (Cut()) return FirewallAnswer::kCancel;
    if (answers.empty()) return FirewallAnswer::kNo;
    FirewallAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowStep(std::string_view text) override { steps.emplace_back(text); }
  void SetFraction(double f) override { fractions.push_back(f); }
  void ShowMessage(std::string_view title, std::string_view) override { messages.emplace_back(title); }
};

const std::vector<std::string> kServers = {"s1", "s2", "s3", "s4", "s5"};

struct Rig {
  platform::FakeTickClock clock{5000};
  FakeIo io{clock};
  SettingsFixture f;
  RecordingLog log;
  NetworkToolResult Run(std::vector<std::string> servers = kServers) {
    NetworkTool t(f.settings, log, clock, io, io, std::move(servers));
    return t.Run();
  }
  bool Logged(std::string_view text, std::uint8_t level = 0) const {
    for (const auto& [t, l] : log.entries) {
      if (t == text && l == level) return true;
    }
    return false;
  }
};

// Every server answers the port tests quickly; s3 then s1 are the fastest in the STUN check.
void AllAnswer(Rig& r) { r.io.stunDelay = {{"s1", 40}, {"s2", 90}, {"s3", 20}, {"s4", 60}, {"s5", 70}}; }

TEST(NetworkTool, EachWayThroughWritesItsSettings) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> script;
    NetworkToolResult result;
    // STUN, UPNP, Active, STUNServer1, STUNServer2, Port ("<missing>": never written)
    std::vector<std::string> written;
    const char* lastLog;
    std::vector<std::string> messages;
  };
  const std::string m = "<missing>";
  const Case cases[] = {
      {"static", [](Rig& r) { r.f.Set("STATIC", "1"); }, NetworkToolResult::kEnded, {m, m, m, m, m, m},
       "Testing Networking for SIP", {"Networking Setup Wizard"}},
      {"no internet", [](Rig& r) { r.io.connected = false; }, NetworkToolResult::kEnded, {m, m, m, m, m, m},
       "Checking Internet is Connected...", {"Networking Setup Wizard"}},
      {"public address", [](Rig& r) { AllAnswer(r); r.io.local = "62.1.2.3"; }, NetworkToolResult::kFinished,
       {"0", "0", "0", m, m, "5070"}, "Restarting SIP Engine", {}},
      {"stun", [](Rig& r) { AllAnswer(r); r.io.changeIpFromOther = {"s1"}; }, NetworkToolResult::kFinished,
       {"1", m, "0", "s3", "s1", "5070"}, "Restarting SIP Engine", {}},
      {"one stun server keeps the second", [](Rig& r) { r.io.stunDelay = {{"s2", 30}}; r.io.changeIpFromOther = {"s2"}; r.f.Set("STUNServer2", "old"); },
       NetworkToolResult::kFinished, {"1", m, "0", "s2", "old", "5070"}, "Restarting SIP Engine", {}},
      {"symmetric, gateway maps", [](Rig& r) { AllAnswer(r); r.io.upnp = UpnpStatus::kMapped; },
       NetworkToolResult::kFinished, {"0", "1", "0", m, m, "5070"}, "Restarting SIP Engine", {}},
      {"symmetric, gateway refuses", [](Rig& r) { AllAnswer(r); r.io.upnp = UpnpStatus::kRefused; },
       NetworkToolResult::kFinished, {"0", "0", "1", m, m, "5070"}, "Restarting SIP Engine", {"Manual Router Setup Required"}},
      {"no stun, no gateway, engine not running", [](Rig& r) { r.io.engineRunning = false; },
       NetworkToolResult::kFinished, {"0", "0", "1", m, m, "5070"}, "SIP Network Tool finished", {"Manual Router Setup Required"}},
  };
  for (const Case& c : cases) {
    Rig r;
    c.script(r);
    EXPECT_EQ(r.Run(), c.result) << c.name;
    const std::vector<std::string> got = {r.f.Get("STUN"), r.f.Get("UPNP"), r.f.Get("Active"),
                                          r.f.Get("STUNServer1"), r.f.Get("STUNServer2"), r.f.Get("Port")};
    EXPECT_EQ(got, c.written) << c.name;
    EXPECT_EQ(r.log.entries.back().first, c.lastLog) << c.name;
    EXPECT_EQ(r.io.messages, c.messages) << c.name;
    EXPECT_EQ(r.io.starts, r.io.engineRunning && r.io.waits > 0 ? 1 : 0) << c.name;
    EXPECT_EQ(std::count(r.io.steps.begin(), r.io.steps.end(), "Stopping SIP Engine"), r.io.starts) << c.name;
  }
}

TEST(NetworkTool, LogLinesOfTheSymmetricWay) {
  Rig r;
  AllAnswer(r);
  r.io.upnp = UpnpStatus::kRefused;
  r.Run();
  // Both fastest servers were asked to answer from another address; the gateway for 5070 + 23.
  EXPECT_EQ(std::count(r.io.queried.begin(), r.io.queried.end(), "change s3"), 1);
  EXPECT_EQ(std::count(r.io.queried.begin(), r.io.queried.end(), "change s1"), 1);
  EXPECT_EQ(r.io.mappedPorts, std::vector<std::uint16_t>{5093});
  for (const char* line : {"Local network IP is: 192.168.1.23", "NAT is symmetric so STUN will not work.",
                           "Checking for a UPnP NAT", tool::kUpnpDisabled.data(), tool::kSymmetricSlow.data(),
                           "Sip Port 5070 (UDP) opened OK"}) {
    EXPECT_TRUE(r.Logged(line)) << line;
  }
  EXPECT_EQ(r.io.fractions, (std::vector<double>{0.3, 0.6}));
  // Ten RTP ports and the SIP port each passed on the first server.
  EXPECT_EQ(r.io.bound, (std::vector<int>{8000, 8001, 8002, 8003, 8004, 8005, 8006, 8007, 8008, 8009, 5070}));
}

TEST(NetworkTool, FirewallQuestionAnswers) {
  // Nobody answers: Yes repeats the four queries, No ends the RTP loop, and the SIP port is
  // still written after a No, with an error line instead of "opened OK".
  Rig r;
  r.io.answers = {FirewallAnswer::kYes, FirewallAnswer::kNo, FirewallAnswer::kNo};
  r.Run();
  EXPECT_EQ(r.io.questions, (std::vector<int>{8000, 8000, 5070}));
  EXPECT_EQ(r.io.queried.size(), 4u * 3 + kServers.size());
  EXPECT_EQ(r.f.Get("Port"), "5070");
  EXPECT_TRUE(r.Logged("Sip Port 5070 (UDP) may be blocked by a firewall", platform::kLogError));
  EXPECT_FALSE(r.Logged("Sip Port 5070 (UDP) opened OK"));
  EXPECT_TRUE(r.Logged("No STUN replies - possibly network is down"));
}

TEST(NetworkTool, SipPortWalk) {
  struct Case {
    const char* port;
    std::set<int> busy;
    const char* written;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {"", {5070}, "5071", {}},
      {"65533", {65533, 65534}, "65533", {"No free UDP port for SIP from 65533 to 65534; Port stays 65533"}},
  };
  for (const Case& c : cases) {
    Rig r;
    AllAnswer(r);
    r.io.changeIpFromOther = {"s3"};
    r.f.Set("Port", c.port);
    r.io.busy = c.busy;
    r.Run();
    EXPECT_EQ(r.f.Get("Port"), c.written) << c.port;
    std::vector<std::string> errors;
    for (const auto& [text, level] : r.log.entries) {
      if (level == platform::kLogError) errors.push_back(text);
    }
    EXPECT_EQ(errors, c.errors) << c.port;
    EXPECT_EQ(std::count(r.io.bound.begin(), r.io.bound.end(), 65535), 0) << c.port;
    EXPECT_EQ(r.f.Get("STUN"), "1") << c.port;  // the checks ran on a socket all the same
  }
  Rig r;
  AllAnswer(r);
  r.io.busy = {5070};
  r.Run();
  EXPECT_TRUE(r.Logged("Port 5070 (UDP) is being used by another program - trying another port"));
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
