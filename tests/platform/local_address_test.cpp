// Proves: CORVINA_LOCAL_ADDRESS overrides the device address when it is a dotted address, and
// the host-name pick keeps the first address unless a later one is public.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/local_address.h"
#include "platform/name_resolver.h"

namespace corvina::platform {
namespace {

TEST(LocalAddress, EnvironmentOverridesWhenDotted) {
  setenv(kLocalAddressVariable, "127.0.3.4", 1);
  EXPECT_EQ(LocalAddress(), "127.0.3.4");
  setenv(kLocalAddressVariable, "not-an-address", 1);
  EXPECT_TRUE(ParseIpv4(LocalAddress()).has_value());
  EXPECT_NE(LocalAddress(), "not-an-address");
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

}  // namespace
}  // namespace corvina::platform
