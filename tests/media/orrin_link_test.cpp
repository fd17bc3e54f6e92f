// The Orrin link against a fake server on loopback: the bytes it sends, each failure's log
// line, the round-robin order of hosts, and a stop that does not wait for a hanging connect.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "media/orrin_link.h"
#include "tests/media/support/test_doubles.h"
#include "tests/support/poll_until.h"
#include "tests/support/raw_tcp.h"

namespace corvina::media {
namespace {

using corvina::testing::PollUntil;
using corvina::testing::RawListener;
using corvina::testing::ReadUpTo;

std::string Loop(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

// Accepts one link, reads the greeting, answers `reply` one byte at a time, then reads `more`
// bytes (the name and frames); everything read is kept.
struct FakeOrrin {
  FakeOrrin(std::string reply, std::size_t more, int receiveBuffer = 0) : listener(8, receiveBuffer) {
    peer = std::thread([this, reply, more] {
      if ((fd = listener.Accept(10000)) < 0) return;
      received = ReadUpTo(fd, kOrrinGreetingBytes, 10000);
      for (char c : reply) {
        corvina::testing::SendBytes(fd, std::string(1, c));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      received += ReadUpTo(fd, more, 10000);
    });
  }
  ~FakeOrrin() {
    Received();
    if (fd >= 0) close(fd);
  }
  const std::string& Received() {
    if (peer.joinable()) peer.join();
    return received;
  }
  RawListener listener;
  int fd = -1;
  std::string received;  // the peer thread's until joined
  std::thread peer;
};

struct LinkRig {  // no host name resolves
  explicit LinkRig(std::string hosts, OrrinRoundRobin* rr = nullptr)
      : config{hosts, "line-1", "\"Alice\" 555-1234", &log, &resolver, rr ? rr : &SharedOrrinRoundRobin()} {
    config.replyTimeoutMs = config.sendTimeoutMs = 300;
  }
  testing::RecordingLog log;
  platform::SystemNameResolver resolver{1000, [](const std::string&) { return std::optional<std::uint32_t>(); }};
  OrrinLinkConfig config;
};

TEST(OrrinLink, SendsGreetingNameAndWholeGsmFrames) {
  const std::string name = "\"Alice\" 555-1234";
  FakeOrrin server(std::string("<\0", 2), 2 + name.size() + 3 * kOrrinFrameBytes);
  LinkRig rig(Loop(server.listener.port));
  OrrinLink link(rig.config);
  std::vector<std::int32_t> tone(500, 1000);
  link.Write(tone);  // 3 frames and 20 samples left waiting
  const std::string& got = server.Received();
  ASSERT_EQ(got.size(), kOrrinGreetingBytes + 2 + name.size() + 3 * kOrrinFrameBytes);
  EXPECT_EQ(got.substr(0, 68), std::string("\x1b\0line-1", 8) + std::string(58, '\0') + "\xff\x10");
  EXPECT_EQ(got.substr(68, name.size()), name);
  for (std::size_t at = 68 + name.size(); at < got.size(); at += kOrrinFrameBytes) {  // 0xD: GSM's signature
    EXPECT_EQ(got.substr(at, 2) + char(got[at + 2] & 0xF0), "\x80\x21\xd0");
  }
  EXPECT_TRUE(rig.log.Lines().empty());
}

TEST(OrrinLink, EachFailureEndsTheLinkWithItsLine) {
  const std::uint16_t closedPort = RawListener().port;  // free again: nothing listens
  struct Case {
    std::string reply;
    std::string hosts;  // empty: the fake server
    std::string line;
  };
  const std::vector<Case> cases = {
      {std::string("<\3", 2), "", std::string(kOrrinRefusedText)},
      {std::string("x\0", 2), "", std::string(kOrrinInvalidReplyText)},
      {std::string("<", 1), "", std::string(kOrrinInvalidReplyText)},
      {"", "", std::string(kOrrinNoResponseText)},
      {"", Loop(closedPort), std::string(kOrrinConnectFailedText) + Loop(closedPort)},
      {"", "127.0.0.1:70000", std::string(kOrrinConnectFailedText) + "127.0.0.1:70000"},
      {"", "no.such.test", std::string(kOrrinConnectFailedText) + "no.such.test"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + " / " + c.hosts);
    std::optional<FakeOrrin> server;
    if (c.hosts.empty()) server.emplace(c.reply, 0);
    LinkRig rig(c.hosts.empty() ? Loop(server->listener.port) : c.hosts);
    OrrinLink link(rig.config);
    ASSERT_TRUE(PollUntil([&] { return link.Finished(); }, 10000));
    EXPECT_EQ(rig.log.LinesWithLevels(), std::vector<std::string>{c.line + " @1"});
    std::vector<std::int32_t> late(160, 5);
    link.Write(late);
    EXPECT_EQ(link.DroppedSamples(), 160u);
  }
}

TEST(OrrinLink, AServerThatStopsReadingBreaksTheLink) {
  FakeOrrin server(std::string("<\0", 2), 0, 2048);
  LinkRig rig(Loop(server.listener.port));
  OrrinLink link(rig.config);
  std::vector<std::int32_t> second(8000, 300);
  EXPECT_TRUE(PollUntil([&] { link.Write(second); return link.Finished(); }, 20000));
  EXPECT_EQ(rig.log.Lines(), std::vector<std::string>{std::string(kOrrinBrokenText)});
  EXPECT_EQ(link.DroppedSamples() % second.size(), 0u);  // whole writes only
}

TEST(OrrinLink, HostsAreTriedInRoundRobinOrder) {
  OrrinRoundRobin rr;
  FakeOrrin a(std::string("<\0", 2), 0);
  FakeOrrin b(std::string("<\0", 2), 0);
  const std::string hosts = Loop(a.listener.port) + " \t" + Loop(b.listener.port);
  for (FakeOrrin* expected : {&b, &a}) {  // index 0 -> 1: b first; then a
    LinkRig rig(hosts, &rr);
    OrrinLink link(rig.config);
    EXPECT_EQ(link.Target().where, Loop(expected->listener.port));
    EXPECT_EQ(expected->Received().substr(0, 6), std::string("\x1b\0line", 6));
  }
}

TEST(OrrinLink, StopDuringAHangingConnectIsQuick) {
  RawListener full(0);  // a backlog of one: further connects hang unanswered
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) fillers.push_back(corvina::testing::ConnectTo(full.port, false));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  LinkRig rig(Loop(full.port));
  rig.config.connectTimeoutMs = 60000;
  rig.config.replyTimeoutMs = 100;  // a connect that went through would end the link at once
  OrrinLink link(rig.config);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_FALSE(link.Finished()) << "the connect did not hang; the test proves nothing";
  const auto start = std::chrono::steady_clock::now();
  link.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(rig.log.Lines().empty());
  for (int fd : fillers) close(fd);
}

}  // namespace
}  // namespace corvina::media
