// Name resolution: dotted addresses, and the bound on how long a look-up may block its caller.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/event.h"
#include "platform/name_resolver.h"
#include "platform/socket_address.h"

namespace corvina::platform {
namespace {

TEST(NameResolver, DottedAddressesAreTakenWithoutALookUp) {
  std::atomic<int> lookups{0};
  SystemNameResolver resolver(1000, [&](const std::string&) {
    ++lookups;
    return std::optional<std::uint32_t>();
  });
  EXPECT_EQ(resolver.ResolveIpv4("127.0.0.1"), 0x7F000001u);
  EXPECT_EQ(resolver.ResolveIpv4(""), std::nullopt);
  EXPECT_EQ(lookups.load(), 0);
  EXPECT_EQ(ParseIpv4("1.2.3"), std::nullopt);
  EXPECT_EQ(ParseIpv4("1.2.3.256"), std::nullopt);
  EXPECT_EQ(FormatIpv4(0x7F000001), "127.0.0.1");
}

TEST(NameResolver, AnAnswerInTimeIsReturned) {
  SystemNameResolver resolver(10000, [](const std::string& host) {
    return host == "phone.test" ? std::optional<std::uint32_t>(0x7F000002) : std::nullopt;
  });
  EXPECT_EQ(resolver.ResolveIpv4("phone.test"), 0x7F000002u);
  EXPECT_EQ(resolver.ResolveIpv4("other.test"), std::nullopt);
}

TEST(NameResolver, ANameGivesUpToTheAddressesAskedFor) {
  SystemNameResolver resolver(10000, [](const std::string&, std::size_t) {
    return std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6};
  });
  EXPECT_EQ(resolver.ResolveIpv4List("many.test", 4), (std::vector<std::uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(resolver.ResolveIpv4List("10.0.0.1", 4), std::vector<std::uint32_t>{0x0A000001});
  EXPECT_EQ(resolver.ResolveIpv4("many.test"), 1u);
  const std::vector<std::uint32_t> local = LookUpIpv4List("localhost", 4);
  ASSERT_FALSE(local.empty());
  EXPECT_TRUE(IsLoopbackAddress(local.front()));
}

// A resolver that hangs: every call gives up after its time-out, the helpers pile up only to
// the bound, and they finish harmlessly once the hang ends (after the resolver is gone).
TEST(NameResolver, AHangingLookUpFailsAfterTheTimeOutInsteadOfBlocking) {
  auto release = std::make_shared<Event>(Event::Mode::kManualReset);
  auto started = std::make_shared<std::atomic<int>>(0);
  auto finished = std::make_shared<std::atomic<int>>(0);
  // Ends the hang after a while in any case, so that a resolver that waits without limit fails
  // this test rather than hanging it.
  std::thread watchdog([release] {
    WaitForAny({WaitSource::Of(*release)}, 5000);
    release->Set();
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  {
    SystemNameResolver resolver(50, [release, started, finished](const std::string&) {
      ++*started;
      WaitForAny({WaitSource::Of(*release)}, kWaitInfinite);
      ++*finished;
      return std::optional<std::uint32_t>(0x7F000003);
    });
    for (int i = 0; i < kMaxAbandonedLookups + 2; ++i) EXPECT_EQ(resolver.ResolveIpv4("slow.test"), std::nullopt);
    while (started->load() < kMaxAbandonedLookups && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    EXPECT_EQ(started->load(), kMaxAbandonedLookups) << "look-ups beyond the bound start no helper";
  }
  release->Set();
  watchdog.join();
  while (finished->load() < kMaxAbandonedLookups && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_EQ(finished->load(), kMaxAbandonedLookups);
}

}  // namespace
}  // namespace corvina::platform
