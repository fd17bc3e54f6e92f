// Proves: the binding request bytes; which datagrams count as the answer; the mapped-address
// reader with truncated and lying lengths; the query's three sends of 230 ms each, the hand-
// over of foreign datagrams, and the stop.
#include <gtest/gtest.h>

#include <functional>

#include "call/stun_message.h"
#include "call/stun_query.h"
#include "nat_fakes.h"

namespace corvina::call {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A Binding Response header for counter 0x04030201 followed by `attributes`; `length` overrides
// the message-length field.
Bytes Response(const Bytes& attributes, int length = -1, std::uint16_t type = 0x0101) {
  Bytes b = {static_cast<std::uint8_t>(type >> 8), static_cast<std::uint8_t>(type), 0, 0,
             0xAA, 0xBB, 0xCC, 0xDD, 1, 2, 3, 4, 9, 9, 9, 9, 9, 9, 9, 9};
  const std::size_t l = length < 0 ? attributes.size() : static_cast<std::size_t>(length);
  b[2] = static_cast<std::uint8_t>(l >> 8);
  b[3] = static_cast<std::uint8_t>(l);
  b.insert(b.end(), attributes.begin(), attributes.end());
  return b;
}

const Bytes kMapped = {0, 1, 0, 8, 0, 1, 0x13, 0x88, 81, 2, 3, 4};     // 81.2.3.4:5000
const Bytes kXorMapped = {0, 0x20, 0, 8, 0, 1, 0x33, 0x33, 1, 1, 1, 1};
const std::uint32_t kCounter = 0x04030201;

TEST(StunMessage, RequestIsTwentyBytesWithLittleEndianCounter) {
  const auto r = BuildStunBindingRequest(0x11223344);
  const Bytes expected = {0, 1, 0, 0, 0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(r.begin(), r.end()), expected);
}

TEST(StunMessage, ChangeIpRequestIs28BytesWithOneChangeRequestAttribute) {
  const auto r = BuildStunChangeIpRequest(0x11223344);
  const Bytes expected = {0, 1, 0, 8, 0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0, 0, 0, 0, 0,
                          0, 3, 0, 4, 0, 0, 0, 4};
  EXPECT_EQ(Bytes(r.begin(), r.end()), expected);
}

TEST(StunMessage, ReadsMappedAddressOnlyFromOurAnswer) {
  auto cat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Bytes unknown = {0x80, 0x22, 0, 4, 'a', 'b', 'c', 'd'};
  const Bytes shortMapped = {0, 1, 0, 4, 0, 1, 0x13, 0x88};
  const Bytes ipv6Mapped = {0, 1, 0, 8, 0, 2, 0x13, 0x88, 1, 1, 1, 1};
  Bytes lyingAttribute = kMapped;
  lyingAttribute[3] = 200;  // runs past the end: clipped to the 8 bytes that are there
  const Bytes headerOnly = Response({});
  Bytes truncatedValue = kMapped;
  truncatedValue.resize(10);  // the value is cut after 6 bytes
  struct Case {
    const char* name;
    Bytes datagram;
    bool found;
  } cases[] = {
      {"plain answer", Response(kMapped), true},
      {"after skipped attributes", Response(cat(cat(kXorMapped, unknown), kMapped)), true},
      {"xor-mapped only", Response(kXorMapped), false},
      {"too short value skipped", Response(shortMapped), false},
      {"short value then good", Response(cat(shortMapped, kMapped)), true},
      {"ipv6 family", Response(ipv6Mapped), false},
      {"attribute length past the end", Response(lyingAttribute), true},
      {"value cut short", Response(truncatedValue), false},
      {"message length past the datagram", Response(kMapped, 4000), true},
      {"message length hides the attribute", Response(kMapped, 0), false},
      {"request type", Response(kMapped, -1, 0x0001), false},
      {"error response type", Response(kMapped, -1, 0x0111), false},
      {"header only", Response({}), false},
      {"nineteen bytes", Bytes(headerOnly.begin(), headerOnly.begin() + 19), false},
      {"empty", Bytes{}, false},
  };
  for (const Case& c : cases) {
    auto mapped = ReadStunMappedAddress(c.datagram, kCounter);
    ASSERT_EQ(mapped.has_value(), c.found) << c.name;
    if (mapped) {
      EXPECT_EQ(platform::FormatSocketAddress(*mapped), "81.2.3.4:5000") << c.name;
    }
  }
  // Only bytes 8-11 of the transaction ID are compared.
  EXPECT_TRUE(ReadStunMappedAddress(Response(kMapped), kCounter).has_value());
  EXPECT_FALSE(ReadStunMappedAddress(Response(kMapped), kCounter + 1).has_value());
}

struct QueryRun {
  platform::FakeTickClock clock{1000};
  testing::ScriptedChannel channel{clock};
  std::vector<std::string> handedBack;
  StunOutcome Run() {
    return RunStunQuery(channel, clock, {0x7F000001, 3478}, kCounter,
                        [this](std::string_view d, const platform::SocketAddress&) { handedBack.emplace_back(d); });
  }
};

TEST(StunQuery, ThreeSendsOf230MsThenFailure) {
  QueryRun run;
  EXPECT_EQ(run.Run().status, StunStatus::kFailed);
  EXPECT_EQ(run.channel.sent.size(), 3u);
  EXPECT_EQ(run.clock.NowMs(), 1000u + 3 * 230);
}

TEST(StunQuery, ForeignDatagramsAreHandedBackAndTheWaitGoesOn) {
  QueryRun run;
  const Bytes answer = Response(kMapped);
  // A SIP request and an answer to an older query arrive first; the real answer comes at
  // 300 ms, i.e. during the second wait.
  run.channel.arrivals.push_back({1010, "OPTIONS sip:x SIP/2.0\r\n\r\n"});
  Bytes stale = Response(kMapped);
  stale[8] = 0x77;
  run.channel.arrivals.push_back({1100, std::string(stale.begin(), stale.end())});
  run.channel.arrivals.push_back({1300, std::string(answer.begin(), answer.end())});
  StunOutcome outcome = run.Run();
  ASSERT_EQ(outcome.status, StunStatus::kMapped);
  EXPECT_EQ(platform::FormatSocketAddress(outcome.mapped), "81.2.3.4:5000");
  EXPECT_EQ(run.channel.sent.size(), 2u);
  ASSERT_EQ(run.handedBack.size(), 2u);
  EXPECT_EQ(run.handedBack[0], "OPTIONS sip:x SIP/2.0\r\n\r\n");
}

TEST(StunQuery, ChangeIpQuerySendsFourTimesAndReportsTheAnswersSource) {
  QueryRun silent;
  EXPECT_EQ(RunChangeIpQuery(silent.channel, silent.clock, {0x7F000001, 3478}, kCounter).status, StunStatus::kFailed);
  EXPECT_EQ(silent.channel.sent.size(), 4u);
  EXPECT_EQ(silent.channel.sent[0].second.size(), 28u);
  EXPECT_EQ(silent.clock.NowMs(), 1000u + 4 * 450);
  // Any Binding Response to the counter is the answer, even one without MAPPED-ADDRESS.
  QueryRun answered;
  const Bytes bare = Response({});
  answered.channel.arrivals.push_back({1600, std::string(bare.begin(), bare.end())});
  const StunOutcome outcome = RunChangeIpQuery(answered.channel, answered.clock, {0x7F000001, 3478}, kCounter);
  EXPECT_EQ(outcome.status, StunStatus::kMapped);
  EXPECT_EQ(platform::FormatSocketAddress(outcome.from), "127.0.0.1:3478");
  EXPECT_EQ(answered.channel.sent.size(), 2u);
}

TEST(StunQuery, StopEndsTheQuery) {
  QueryRun run;
  run.channel.stopAfterFirstSend = true;
  EXPECT_EQ(run.Run().status, StunStatus::kStopped);
  EXPECT_EQ(run.channel.sent.size(), 1u);
}

}  // namespace
}  // namespace corvina::call
