// Proves `corvina nettest` end to end, each run inside a loopback-only network namespace made
// here (lo with multicast, so the gateway search stays inside): two stund servers give STUN with
// both servers stored and a held SIP port moves the phone to the next; silent servers raise the
// firewall question for the first RTP port, also in the console phone, whose engine starts again
// after Cancel; a server that ignores the change-IP request leads to the gateway check, which our
// test IGD answers; a real miniupnpd maps nothing and leaves the NAT to manual setup.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "call/stun_message.h"
#include "igd_test_server.h"
#include "platform/settings.h"
#include "platform/sqlite_settings_store.h"
#include "platform/udp_socket.h"
#include "tests/support/child_process.h"
#include "tests/support/net_namespace.h"
#include "tests/support/stund_server.h"

namespace corvina::call {
namespace {

using corvina::testing::ChildProcess;
using corvina::testing::IgdTestServer;

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// A namespace with only lo, up and carrying multicast; deleted at the end.
class LoopbackNamespace {
 public:
  LoopbackNamespace() : name_("corvina-nt-" + std::to_string(getpid())) {
    ok_ = Shell("ip netns add " + name_) == 0 && Shell("ip -n " + name_ + " link set lo up multicast on") == 0 &&
          Shell("ip -n " + name_ + " route add 224.0.0.0/4 dev lo") == 0;
  }
  ~LoopbackNamespace() { Shell("ip netns del " + name_); }
  bool Ok() const { return ok_; }
  const std::string& Name() const { return name_; }
  // Runs `body` on a thread inside the namespace (sockets and threads it makes stay there).
  bool Enter(const std::function<void()>& body) const { return corvina::testing::InNetNamespace(name_, body); }
  std::vector<std::string> Exec(std::vector<std::string> argv) const { return ExecIn(name_, std::move(argv)); }
  static std::vector<std::string> ExecIn(const std::string& name, std::vector<std::string> argv) {
    std::vector<std::string> all = {"/usr/bin/env", "ip", "netns", "exec", name, "/usr/bin/timeout", "60"};
    all.insert(all.end(), argv.begin(), argv.end());
    return all;
  }

 private:
  std::string name_;
  bool ok_ = false;
};

// A STUN server that answers every binding request from its own address, also when asked to
// change it: what a port-restricted NAT in front of a one-address server looks like.
class PlainStunResponder {
 public:
  explicit PlainStunResponder(const LoopbackNamespace& ns) {
    ns.Enter([this] { socket_.Bind({0x7F000005, 3478}); });
    thread_ = std::thread([this] {
      std::uint8_t buffer[600];
      while (!stop_) {
        auto r = socket_.ReceiveFrom(buffer, 50);
        if (r.status != platform::ReceiveStatus::kDatagram || r.size < 20) continue;
        std::vector<std::uint8_t> answer(buffer, buffer + 20);
        answer[0] = 0x01, answer[1] = 0x01, answer[2] = 0, answer[3] = 12;
        const std::uint32_t a = r.from.address;
        const std::uint8_t mapped[] = {0, 1, 0, 8, 0, 1, static_cast<std::uint8_t>(r.from.port >> 8),
                                       static_cast<std::uint8_t>(r.from.port), static_cast<std::uint8_t>(a >> 24),
                                       static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8),
                                       static_cast<std::uint8_t>(a)};
        answer.insert(answer.end(), std::begin(mapped), std::end(mapped));
        socket_.SendTo(r.from, answer);
      }
    });
  }
  ~PlainStunResponder() {
    stop_ = true;
    thread_.join();
  }

 private:
  platform::UdpSocket socket_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct NetTestRun {
  int exitCode = -1;
  std::vector<std::string> lines;
  bool Has(const std::string& text) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
};

class NetToolInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ns_.Ok()) GTEST_SKIP() << "network namespaces cannot be made here";
    char tmpl[] = "/tmp/corvina-nettool-XXXXXX";
    home_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    for (auto& child : peers_) {
      if (child->Pid() > 0) kill(child->Pid(), SIGTERM);
      child->Wait(3000);
    }
    if (!home_.empty()) Shell("rm -rf " + home_);
  }
  // stund on `address` with `other` as its second address, both on 3478/3479 of the namespace.
  void StartStund(const std::string& address, const std::string& other) {
    peers_.push_back(std::make_unique<ChildProcess>(
        ns_.Exec({"/usr/sbin/stund", "-h", address, "-a", other, "-p", "3478", "-o", "3479"}),
        std::vector<std::string>{}));
  }
  // True once `address`:3478 answers a binding request inside the namespace (bounded).
  bool Answers(std::uint32_t address) {
    bool ok = false;
    ns_.Enter([&] { ok = corvina::testing::StunAnswers(address, 3478); });
    return ok;
  }
  // `in`: another namespace than the loopback one, where the phone finds its own address.
  NetTestRun Run(const std::string& servers, std::vector<std::string> args = {}, const std::string& in = "") {
    std::vector<std::string> argv = {CORVINA_BINARY, "nettest"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = {"CORVINA_HOME=" + home_, "CORVINA_STUN_SERVERS=" + servers};
    if (in.empty()) env.push_back("CORVINA_LOCAL_ADDRESS=127.0.0.1");
    ChildProcess tool(in.empty() ? ns_.Exec(argv) : LoopbackNamespace::ExecIn(in, argv), env);
    NetTestRun run;
    std::string line;
    while (tool.ReadLine(&line, 30000)) run.lines.push_back(line);
    const int status = tool.Wait(5000);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }
  std::string Setting(const std::string& name, const char* set = nullptr) {
    platform::SqliteSettingsStore store(home_ + "/registry.db");
    platform::Settings settings(store);
    if (set != nullptr) settings.SetSettingString("SIP", name, set);
    return settings.GetSettingString("SIP", name, "<missing>");
  }

  LoopbackNamespace ns_;
  std::string home_;
  std::vector<std::unique_ptr<ChildProcess>> peers_;
};

TEST_F(NetToolInterop, TwoStundServersGiveStunAndAHeldPortMovesOn) {
  if (access("/usr/sbin/stund", X_OK) != 0) GTEST_SKIP() << "stund is not installed (package stun-server)";
  StartStund("127.0.0.1", "127.0.0.2");
  StartStund("127.0.0.3", "127.0.0.4");
  ASSERT_TRUE(Answers(0x7F000001) && Answers(0x7F000003));
  platform::UdpSocket held;
  ns_.Enter([&] { ASSERT_TRUE(held.Bind({0x7F000001, 5070}).Ok()); });
  const NetTestRun run = Run("127.0.0.1,127.0.0.3");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.Has("Port 5070 (UDP) is being used by another program - trying another port"));
  EXPECT_TRUE(run.Has("log 0 Sip Port 5071 (UDP) opened OK"));
  EXPECT_TRUE(run.Has("log 0 SIP Network Tool finished"));
  EXPECT_FALSE(run.Has("question"));
  EXPECT_EQ(Setting("Port"), "5071");
  EXPECT_EQ(Setting("STUN"), "1");
  EXPECT_EQ(Setting("Active"), "0");
  const std::vector<std::string> both = {Setting("STUNServer1"), Setting("STUNServer2")};
  EXPECT_TRUE(both == (std::vector<std::string>{"127.0.0.1", "127.0.0.3"}) ||
              both == (std::vector<std::string>{"127.0.0.3", "127.0.0.1"}))
      << both[0] << " " << both[1];
}

TEST_F(NetToolInterop, SilentServersRaiseTheFirewallQuestion) {
  const NetTestRun run = Run("127.0.0.1:9", {"--blocked", "cancel"});
  EXPECT_EQ(run.exitCode, 1);
  ASSERT_TRUE(run.Has("question Firewall Blocking Ports: Your handheld seems to be blocking UDP port 8000 "));
  EXPECT_FALSE(run.Has("SIP Network Tool finished"));
  EXPECT_EQ(Setting("Port"), "<missing>");
}

TEST_F(NetToolInterop, ConsolePhoneAsksItsQuestionAndRestartsItsEngineAfterCancel) {
  Setting("STUN", "0");
  ChildProcess phone(ns_.Exec({CORVINA_BINARY, "--headless"}),
                     {"CORVINA_HOME=" + home_, "CORVINA_LOCAL_ADDRESS=127.0.0.1", "CORVINA_STUN_SERVERS=127.0.0.1:9"});
  std::string line;
  ASSERT_TRUE(phone.WaitForLine("event {\"event\":\"address\"", &line, 10000));  // the engine runs
  phone.Send("nettest");
  ASSERT_TRUE(phone.WaitForLine("event {\"event\":\"question\"", &line, 10000));
  EXPECT_NE(line.find("\"title\":\"Firewall Blocking Ports\",\"text\":\"Your handheld seems to be blocking UDP port "
                      "8000 "), std::string::npos);
  // The running phone holds the home: the console tool refuses beside it.
  EXPECT_EQ(Run("127.0.0.1:9").exitCode, 2);
  phone.Send("reply cancel");
  // The tool's answer, and the engine started again (its address event), in either order.
  bool answered = false, restarted = false;
  while (!(answered && restarted) && phone.ReadLine(&line, 10000)) {
    answered = answered || line == "ok {\"result\":1}";
    restarted = restarted || line.rfind("event {\"event\":\"address\"", 0) == 0;
  }
  EXPECT_TRUE(answered && restarted) << answered << restarted;
  // The menu's command runs the same tool.
  phone.Send("command 1013");
  ASSERT_TRUE(phone.WaitForLine("event {\"event\":\"question\"", &line, 10000));
  phone.Send("reply cancel");
  phone.Send("quit");
  EXPECT_EQ(phone.Wait(10000), 0);
}

TEST_F(NetToolInterop, ServerIgnoringChangeIpLeadsToTheGateway) {
  PlainStunResponder responder(ns_);
  IgdTestServer igd({});
  bool started = false;
  ns_.Enter([&] { started = igd.Start(0x7F000001, 1900, 0x7F000001); });
  ASSERT_TRUE(started);
  const NetTestRun run = Run("127.0.0.5");
  igd.Stop();
  EXPECT_EQ(run.exitCode, 0);
  for (const char* line : {"log 0 NAT is symmetric so STUN will not work.", "log 0 Checking for a UPnP NAT",
                           "log 0 UPnP NAT or router found", "log 0 External IP is: 203.0.113.7"}) {
    EXPECT_TRUE(run.Has(line)) << line;
  }
  EXPECT_EQ((std::vector<std::string>{Setting("STUN"), Setting("UPNP"), Setting("Active")}),
            (std::vector<std::string>{"0", "1", "0"}));
  ASSERT_EQ(igd.Mappings().size(), 1u);
  EXPECT_NE(igd.Mappings()[0].find("<NewExternalPort>5071</NewExternalPort>"), std::string::npos);
}

// A real miniupnpd on a gateway namespace (its outside address private, so it maps nothing)
// answers the phone namespace's search; the tool reads its description, finds no usable
// gateway and leaves the NAT to be set up by hand.
TEST_F(NetToolInterop, RealMiniupnpdGivesNoMappingAndManualSetup) {
  if (access("/usr/sbin/miniupnpd", X_OK) != 0) GTEST_SKIP() << "miniupnpd is not installed";
  const std::string gw = ns_.Name() + "-gw", phone = ns_.Name() + "-ph";
  const bool made =
      Shell("ip netns add " + gw) == 0 && Shell("ip netns add " + phone) == 0 &&
      Shell("ip -n " + gw + " link add vgw type veth peer name vph netns " + phone) == 0 &&
      Shell("ip -n " + gw + " link add vext type veth peer name vout") == 0 &&
      Shell("ip -n " + gw + " addr add 192.168.1.1/24 dev vgw && ip -n " + gw + " addr add 10.99.0.2/24 dev vext") == 0 &&
      Shell("ip -n " + phone + " addr add 192.168.1.23/24 dev vph") == 0 &&
      Shell("ip -n " + gw + " link set vgw up multicast on && ip -n " + gw + " link set vext up && ip -n " + gw +
            " link set vout up && ip -n " + gw + " link set lo up") == 0 &&
      Shell("ip -n " + phone + " link set vph up multicast on && ip -n " + phone + " link set lo up") == 0 &&
      Shell("ip -n " + phone + " route add default via 192.168.1.1") == 0;
  std::FILE* conf = std::fopen((home_ + "/miniupnpd.conf").c_str(), "w");
  std::fputs("ext_ifname=vext\nlistening_ip=vgw\nport=5000\nenable_natpmp=no\nsecure_mode=no\n"
             "allow 1024-65535 192.168.1.0/24 1024-65535\n", conf);
  std::fclose(conf);
  ChildProcess upnpd(LoopbackNamespace::ExecIn(gw, {"/usr/sbin/miniupnpd", "-d", "-f", home_ + "/miniupnpd.conf"}), {});
  usleep(300000);  // it answers searches once it listens; the tool searches for ten seconds anyway
  const NetTestRun run = made ? Run("192.168.1.1:9", {}, phone) : NetTestRun{};
  kill(upnpd.Pid(), SIGTERM);
  const std::string upnpdLog = upnpd.ReadAllErrors(3000);  // -d: it logs on standard error
  upnpd.Wait(3000);
  Shell("ip netns del " + gw);
  Shell("ip netns del " + phone);
  ASSERT_TRUE(made);
  EXPECT_NE(upnpdLog.find("SSDP M-SEARCH from 192.168.1.23"), std::string::npos) << upnpdLog;
  EXPECT_NE(upnpdLog.find("GET /rootDesc.xml"), std::string::npos) << upnpdLog;
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.Has("log 0 Local network IP is: 192.168.1.23"));
  EXPECT_TRUE(run.Has("log 0 No UPnP NAT or router found"));
  EXPECT_TRUE(run.Has("messageBox Manual Router Setup Required: A 'symmetric' NAT"));
  EXPECT_EQ(Setting("Active"), "1");
}

}  // namespace
}  // namespace corvina::call
