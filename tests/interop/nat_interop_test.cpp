// Proves, against real peers: the public address comes from a real RFC 3489 server (stund)
// for a private device address, the second server takes over when the first is silent, and
// datagrams for the socket's owner that arrive meanwhile are handed back. The gateway client
// maps a port on our test IGD found by SSDP multicast inside a network namespace made here (or,
// where namespaces cannot be made, by a unicast search on loopback), and a refused mapping gives
// its failure lines.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "call/nat_traversal.h"
#include "call/stun_message.h"
#include "igd_test_server.h"
#include "tests/support/net_namespace.h"
#include "platform/local_address.h"
#include "platform/udp_socket.h"
#include "tests/call/nat_fakes.h"
#include "tests/support/child_process.h"
#include "tests/support/stund_server.h"

namespace corvina::call {
namespace {

using corvina::testing::ChildProcess;
using corvina::testing::IgdTestServer;

std::uint16_t FreeUdpPort(std::uint32_t address) {
  platform::UdpSocket probe;
  return probe.Bind({address, 0}).local.port;
}

struct NatRig {
  testing::SettingsFixture f;
  testing::RecordingLog log;
  platform::SystemNameResolver resolver;
  platform::SystemTickClock clock;
  platform::Event stop{platform::Event::Mode::kManualReset};
};

TEST(StunInterop, PublicAddressFromStundAndFallbackToTheSecondServer) {
  if (access("/usr/sbin/stund", X_OK) != 0) GTEST_SKIP() << "stund is not installed (package stun-server)";
  setenv(platform::kLocalAddressVariable, "127.0.5.23", 1);
  corvina::testing::StundServer stund;
  ASSERT_TRUE(stund.Ready());
  NatRig rig;
  NatTraversal nat(rig.f.settings, rig.log, rig.resolver, rig.clock);
  platform::UdpSocket sip;
  const std::uint16_t sipPort = sip.Bind({0x7F000001, 0}).local.port;
  ASSERT_NE(sipPort, 0);
  const std::string silent = "127.0.0.1:" + std::to_string(FreeUdpPort(0x7F000001));
  const std::string live = "127.0.0.1:" + std::to_string(stund.Port());
  std::vector<std::string> handedBack;
  auto sink = [&](std::string_view d, const platform::SocketAddress&) { handedBack.emplace_back(d); };
  const sip::PublicAddressRequest request{nat.LocalAddress(), sipPort, 1, 5070, 5070};
  EXPECT_EQ(request.localAddress, "127.0.5.23");

  // First server answers; a SIP datagram waiting on the socket is handed back, not lost.
  rig.f.Set("STUNServer1", live);
  rig.f.Set("STUNServer2", silent);
  platform::UdpSocket peer;
  peer.Bind({0x7F000001, 0});
  peer.SendTo({0x7F000001, sipPort}, std::string_view("OPTIONS sip:a@127.0.0.1 SIP/2.0\r\n\r\n"));
  auto r = nat.PublicAddress(sip, rig.stop, request, sink);
  EXPECT_EQ(r.address, "127.0.0.1");
  EXPECT_EQ(r.port, sipPort);
  EXPECT_TRUE(r.behindNat);
  EXPECT_EQ(handedBack, std::vector<std::string>{"OPTIONS sip:a@127.0.0.1 SIP/2.0\r\n\r\n"});
  EXPECT_TRUE(rig.log.entries.empty());
  EXPECT_EQ(nat.StunServerSettingName(), "STUNServer1");

  // First server silent: the second one answers and stays in use.
  rig.f.Set("STUNServer1", silent);
  rig.f.Set("STUNServer2", live);
  r = nat.PublicAddress(sip, rig.stop, request, sink);
  EXPECT_EQ(r.address, "127.0.0.1");
  EXPECT_EQ(r.port, sipPort);
  EXPECT_EQ(rig.log.Texts(), std::vector<std::string>{"STUN server failed: " + silent});
  EXPECT_EQ(nat.StunServerSettingName(), "STUNServer2");
  unsetenv(platform::kLocalAddressVariable);
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// A gateway namespace and a phone namespace joined by a veth pair: 192.168.1.1 and
// 192.168.1.23/24, the phone's default route through the gateway.
class GatewayNamespaces {
 public:
  GatewayNamespaces() : gw_("corvina-gw-" + std::to_string(getpid())), phone_("corvina-ph-" + std::to_string(getpid())) {
    ok_ = Shell("ip netns add " + gw_) == 0 && Shell("ip netns add " + phone_) == 0 &&
          Shell("ip -n " + gw_ + " link add vgw type veth peer name vph netns " + phone_) == 0 &&
          Shell("ip -n " + gw_ + " addr add 192.168.1.1/24 dev vgw") == 0 &&
          Shell("ip -n " + phone_ + " addr add 192.168.1.23/24 dev vph") == 0 &&
          Shell("ip -n " + gw_ + " link set vgw up multicast on") == 0 &&
          Shell("ip -n " + phone_ + " link set vph up multicast on") == 0 &&
          Shell("ip -n " + gw_ + " link set lo up") == 0 && Shell("ip -n " + phone_ + " link set lo up") == 0 &&
          Shell("ip -n " + phone_ + " route add default via 192.168.1.1") == 0;
  }
  ~GatewayNamespaces() {
    Shell("ip netns del " + gw_);
    Shell("ip netns del " + phone_);
  }
  bool Ok() const { return ok_; }
  const std::string& Gateway() const { return gw_; }
  const std::string& Phone() const { return phone_; }

 private:
  std::string gw_;
  std::string phone_;
  bool ok_ = false;
};

struct UpnpRun {
  sip::PublicAddressResult result;
  std::vector<std::string> log;
  std::string localAddress;
};

UpnpRun MapSipPort(const UpnpOptions& options, const std::string& localAddress) {
  NatRig rig;
  rig.f.Set("STUN", "0");
  rig.f.Set("UPNP", "1");
  NatTraversal nat(rig.f.settings, rig.log, rig.resolver, rig.clock, options);
  UpnpRun run;
  run.localAddress = localAddress.empty() ? nat.LocalAddress() : localAddress;
  platform::UdpSocket sip;
  sip.Bind({0, 0});
  run.result = nat.PublicAddress(sip, rig.stop, {run.localAddress, 5070, 1, 5070, 5070}, {});
  run.log = rig.log.Texts();
  return run;
}

TEST(UpnpInterop, MulticastSearchMapsThePortInANamespace) {
  GatewayNamespaces ns;
  if (!ns.Ok()) GTEST_SKIP() << "network namespaces cannot be made here; the loopback test covers the client";
  IgdTestServer::Behaviour behaviour;
  IgdTestServer igd(behaviour);
  bool started = false;
  ASSERT_TRUE(corvina::testing::InNetNamespace(ns.Gateway(), [&] { started = igd.Start(0xC0A80101, 1900, 0xC0A80101); }));
  ASSERT_TRUE(started);
  UpnpRun run;
  ASSERT_TRUE(corvina::testing::InNetNamespace(ns.Phone(), [&] { run = MapSipPort({}, ""); }));
  igd.Stop();
  // The device address comes from the default route of the phone's namespace.
  EXPECT_EQ(run.localAddress, "192.168.1.23");
  EXPECT_EQ(run.result.address, "203.0.113.7");
  EXPECT_EQ(run.result.port, 5093);
  EXPECT_TRUE(run.log.empty());
  const std::vector<std::string> actions = {
      "WANIPConnection:1#GetConnectionTypeInfo", "WANIPConnection:1#GetNATRSIPStatus",
      "WANIPConnection:1#GetExternalIPAddress", "WANIPConnection:1#AddPortMapping"};
  EXPECT_EQ(igd.Actions(), actions);
  ASSERT_EQ(igd.Mappings().size(), 1u);
  EXPECT_NE(igd.Mappings()[0].find("<NewExternalPort>5093</NewExternalPort><NewProtocol>UDP</NewProtocol>"
                                   "<NewInternalPort>5070</NewInternalPort>"
                                   "<NewInternalClient>192.168.1.23</NewInternalClient>"),
            std::string::npos);
}

TEST(UpnpInterop, LoopbackGatewayCases) {
  struct Case {
    const char* name;
    IgdTestServer::Behaviour behaviour;
    std::string address;
    std::vector<std::string> log;
    std::size_t actions;
  };
  const std::string failed = "Unable to use UPnP for NAT routing (UPnP failed)";
  const std::string refused =
      "Error: UPnP NAT routing is disabled on the server or router. Please see Help for how to enable it.";
  const std::string fallback = "Unable to auto-detect public IP. Using private IP";
  IgdTestServer::Behaviour plain, fault, natOff, unconfigured, ppp;
  fault.refuseMapping = true;
  natOff.natEnabled = false;
  unconfigured.unconfigured = true;
  ppp.pppOnly = true;
  const Case cases[] = {
      {"mapped", plain, "203.0.113.7", {}, 4},
      {"ppp service only", ppp, "203.0.113.7", {}, 4},
      // Each search is answered; every answer is tried (two searches here).
      {"soap fault", fault, "127.0.0.23", {failed, refused, fallback}, 16},
      {"nat disabled", natOff, "127.0.0.23", {failed, fallback}, 8},
      {"unconfigured", unconfigured, "127.0.0.23", {failed, fallback}, 4},
  };
  for (const Case& c : cases) {
    IgdTestServer igd(c.behaviour);
    ASSERT_TRUE(igd.Start(0x7F000001, 0, 0)) << c.name;
    UpnpOptions options;
    options.ssdpTarget = {0x7F000001, igd.SsdpPort()};
    options.searches = 2;
    options.searchWaitMs = 300;
    UpnpRun run = MapSipPort(options, "127.0.0.23");
    igd.Stop();
    EXPECT_EQ(run.result.address, c.address) << c.name;
    EXPECT_EQ(run.result.port, c.address == "127.0.0.23" ? 5070 : 5093) << c.name;
    EXPECT_EQ(run.log, c.log) << c.name;
    EXPECT_EQ(igd.Actions().size(), c.actions) << c.name;
  }
}

}  // namespace
}  // namespace corvina::call
