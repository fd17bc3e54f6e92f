// Proves: the order of the methods (none on a public address, static, STUN unless Active,
// UPnP), the static port rule whatever method ran, the STUN fallback with its log lines and
// the server flag, the gateway's external port rule, and the summary line.
#include <gtest/gtest.h>

#include <map>

#include "call/public_address_selection.h"
#include "nat_fakes.h"

namespace corvina::call {
namespace {

class FakeProbes final : public NatProbes {
 public:
  std::map<std::string, StunOutcome> stun;  // by server name; missing = failure
  UpnpOutcome upnp{UpnpStatus::kFailed, {}};
  std::vector<std::string> stunAsked;
  std::vector<std::uint16_t> upnpExternal;

  StunOutcome QueryStun(std::string_view server) override {
    stunAsked.emplace_back(server);
    auto it = stun.find(std::string(server));
    return it == stun.end() ? StunOutcome{} : it->second;
  }
  UpnpOutcome MapPort(std::uint16_t external, std::uint16_t, std::string_view) override {
    upnpExternal.push_back(external);
    return upnp;
  }
};

class Selection : public ::testing::Test {
 protected:
  sip::PublicAddressResult Select(const std::string& local, std::uint16_t port, int step = 1,
                                  std::uint16_t staticBase = 5070, std::uint16_t base = 5070) {
    return SelectPublicAddress(f.settings, log, probes, second, {local, port, step, staticBase, base});
  }
  StunOutcome Mapped(std::uint32_t address, std::uint16_t port) { return {StunStatus::kMapped, {address, port}, {}}; }

  testing::SettingsFixture f;
  testing::RecordingLog log;
  FakeProbes probes;
  std::atomic<bool> second{false};
};

TEST_F(Selection, PublicDeviceAddressIsUsedWithoutQueries) {
  f.Set("UPNP", "1");
  auto r = Select("62.1.2.3", 5070);
  EXPECT_EQ(r.address, "62.1.2.3");
  EXPECT_EQ(r.port, 5070);
  EXPECT_FALSE(r.behindNat);
  EXPECT_TRUE(probes.stunAsked.empty());
  EXPECT_TRUE(probes.upnpExternal.empty());
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(Selection, StaticMappingAppliesThePortRuleAndClearsActive) {
  f.Set("STATIC", "1");
  f.Set("STATICPublicIP", "81.2.3.4");
  f.Set("Active", "1");
  auto r = Select("192.168.1.5", 5071, 1, 5080, 5070);
  EXPECT_EQ(r.address, "81.2.3.4");
  EXPECT_EQ(r.port, 5081);
  EXPECT_TRUE(r.behindNat);
  EXPECT_EQ(f.Get("Active"), "0");
  EXPECT_TRUE(probes.stunAsked.empty());
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(Selection, StaticWithoutAddressRunsStunAndStillReplacesThePort) {
  f.Set("STATIC", "1");
  f.Set("Active", "1");
  f.Set("STUNServer1", "127.0.0.9");
  probes.stun["127.0.0.9"] = Mapped(0x51020304, 40000);
  auto r = Select("10.0.0.2", 8002, 16, 9000, 8000);
  EXPECT_EQ(r.address, "81.2.3.4");
  EXPECT_EQ(r.port, 9002);
  EXPECT_EQ(probes.stunAsked, std::vector<std::string>{"127.0.0.9"});
}

TEST_F(Selection, ActiveSkipsStun) {
  f.Set("Active", "1");
  auto r = Select("192.168.1.5", 5070);
  EXPECT_TRUE(probes.stunAsked.empty());
  EXPECT_EQ(r.address, "192.168.1.5");
  EXPECT_EQ(log.Texts(), std::vector<std::string>{"Unable to auto-detect public IP. Using private IP"});
}

TEST_F(Selection, StunFallsBackToTheOtherServerAndKeepsIt) {
  f.Set("STUNServer1", "127.0.0.8");
  f.Set("STUNServer2", "127.0.0.9");
  probes.stun["127.0.0.9"] = Mapped(0x51020304, 6000);
  auto r = Select("127.0.0.2", 5070);
  EXPECT_EQ(r.address, "81.2.3.4");
  EXPECT_EQ(r.port, 6000);
  EXPECT_EQ(log.Texts(), std::vector<std::string>{"STUN server failed: 127.0.0.8"});
  EXPECT_EQ(log.entries[0].second, platform::kLogError);
  EXPECT_TRUE(second.load());
  // The next selection starts with the server that answered.
  probes.stunAsked.clear();
  Select("127.0.0.2", 5070);
  EXPECT_EQ(probes.stunAsked, std::vector<std::string>{"127.0.0.9"});
}

TEST_F(Selection, BothStunServersFailingLogsTheAdviceAndResetsTheChoice) {
  f.Set("STUNServer1", "127.0.0.8");
  f.Set("STUNServer2", "127.0.0.9");
  second = true;
  auto r = Select("172.16.0.3", 5072);
  EXPECT_EQ(r.address, "172.16.0.3");
  EXPECT_EQ(r.port, 5072);
  EXPECT_EQ(probes.stunAsked, (std::vector<std::string>{"127.0.0.9", "127.0.0.8"}));
  const std::vector<std::string> expected = {
      "STUN server failed: 127.0.0.9",
      "STUN server failed: 127.0.0.8",
      "The internet connection could be down.",
      "Check local firewall is not blocking UDP port 5072",
      "Also check STUN settings or use different STUN servers.",
      "Unable to auto-detect public IP. Using private IP",
  };
  EXPECT_EQ(log.Texts(), expected);
  EXPECT_EQ(log.entries.back().second, platform::kLogInfo);
  EXPECT_FALSE(second.load());
}

TEST_F(Selection, StoppedStunEndsWithoutMessages) {
  f.Set("STUNServer1", "127.0.0.8");
  f.Set("UPNP", "1");
  probes.stun["127.0.0.8"] = StunOutcome{StunStatus::kStopped, {}, {}};
  auto r = Select("192.168.1.5", 5070);
  EXPECT_TRUE(r.stopped);
  EXPECT_TRUE(log.entries.empty());
  EXPECT_TRUE(probes.upnpExternal.empty());
}

TEST_F(Selection, UpnpAsksForThePortOfTheAddressLastByte) {
  f.Set("STUN", "0");
  f.Set("UPNP", "1");
  probes.upnp = {UpnpStatus::kMapped, "81.2.3.4"};
  auto rtp = Select("192.168.1.23", 8000, 16, 8000, 8000);
  auto sip = Select("192.168.1.23", 5070);
  EXPECT_EQ(probes.upnpExternal, (std::vector<std::uint16_t>{8368, 5093}));
  EXPECT_EQ(rtp.address, "81.2.3.4");
  EXPECT_EQ(rtp.port, 8368);
  EXPECT_EQ(sip.port, 5093);
  // Kept to 16 bits.
  EXPECT_EQ(UpnpExternalPort(0xC0A801FF, 65000, 16), static_cast<std::uint16_t>(65000 + 255 * 16));
}

TEST_F(Selection, UpnpFailureLines) {
  f.Set("STUN", "0");
  f.Set("UPNP", "1");
  for (UpnpStatus status : {UpnpStatus::kFailed, UpnpStatus::kRefused}) {
    log.entries.clear();
    probes.upnp = {status, {}};
    auto r = Select("192.168.1.23", 5070);
    EXPECT_EQ(r.address, "192.168.1.23");
    std::vector<std::string> expected = {"Unable to use UPnP for NAT routing (UPnP failed)"};
    if (status == UpnpStatus::kRefused) {
      expected.push_back(
          "Error: UPnP NAT routing is disabled on the server or router. Please see Help for how to enable it.");
    }
    expected.push_back("Unable to auto-detect public IP. Using private IP");
    EXPECT_EQ(log.Texts(), expected);
  }
}

TEST_F(Selection, AllMethodsOffIsSilent) {
  f.Set("STUN", "0");
  auto r = Select("192.168.1.23", 5070);
  EXPECT_EQ(r.address, "192.168.1.23");
  EXPECT_TRUE(r.behindNat);
  EXPECT_TRUE(log.entries.empty());
}

}  // namespace
}  // namespace corvina::call
