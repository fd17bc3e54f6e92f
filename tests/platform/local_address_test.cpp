// Proves: the device address is the one the server sees (the default route's without a server),
// CORVINA_LOCAL_ADDRESS overrides it when it is a dotted address, and
// the host-name pick keeps the first address unless a later one is public.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/host_port.h"
#include "platform/local_address.h"
#include "platform/name_resolver.h"

namespace corvina::platform {
namespace {

TEST(LocalAddress, TheServerSeesItUnlessTheEnvironmentSaysElse) {
  const std::uint32_t loopback = 0x7F000001;
  EXPECT_EQ(LocalAddress(loopback), "127.0.0.1");
  // No server: the default route's source (toward any outside address), when there is one.
  const auto route = SourceAddressToward(0xC6336401);
  EXPECT_EQ(LocalAddress(), route ? FormatIpv4(*route) : LocalAddress());
  setenv(kLocalAddressVariable, "127.0.3.4", 1);
  EXPECT_EQ(LocalAddress(loopback), "127.0.3.4");
  setenv(kLocalAddressVariable, "not-an-address", 1);
  EXPECT_EQ(LocalAddress(loopback), "127.0.0.1");
  unsetenv(kLocalAddressVariable);
}

TEST(LocalAddress, HostNamePickPrefersTheLastPublicAddress) {
  auto pick = [](std::initializer_list<const char*> texts) {
    std::vector<std::uint32_t> addresses;
    for (const char* t : texts) addresses.push_back(*ParseIpv4(t));
    auto picked = PickHostAddress(addresses);
    return picked ? FormatIpv4(*picked) : std::string("none");
  };
  EXPECT_EQ(pick({}), "none");
  EXPECT_EQ(pick({"127.0.1.1"}), "127.0.1.1");
  EXPECT_EQ(pick({"192.168.1.2", "10.0.0.1", "127.1.0.1"}), "192.168.1.2");
  EXPECT_EQ(pick({"127.0.1.1", "62.1.2.3", "10.0.0.1", "81.2.3.4", "0.1.2.3"}), "81.2.3.4");
  // 127.1.x.x is not private, but 127.x is never picked over the first.
  EXPECT_EQ(pick({"10.0.0.1", "127.1.2.3"}), "10.0.0.1");
}

TEST(HostPort, PortOnlyWhenValid) {
  struct Case {
    const char* text;
    const char* host;
    int port;
  } cases[] = {{"stun.example.org", "stun.example.org", 3478}, {"127.0.0.1:40000", "127.0.0.1", 40000},
               {"h:65535", "h", 65535}, {"h:65536", "h:65536", 3478}, {"h:0", "h:0", 3478},
               {"h:", "h:", 3478},      {"h:12a", "h:12a", 3478}, {":5000", "", 5000}};
  for (const Case& c : cases) {
    HostPort hp = SplitHostPort(c.text, 3478);
    EXPECT_EQ(hp.host, c.host) << c.text;
    EXPECT_EQ(hp.port, c.port) << c.text;
  }
}

}  // namespace
}  // namespace corvina::platform
