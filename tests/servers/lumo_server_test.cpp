// The Lumo server against raw sockets, read back with the phone's own stream reader; its frame
// times and time-outs run on a fake clock.
#include <gtest/gtest.h>

#include "media/lumo_stream.h"
#include "servers/lumo_server.h"
#include "tests/support/raw_tcp.h"

namespace corvina::servers {
namespace {

using namespace corvina::testing;

const std::string kLogin("\xB1\x00", 2);

struct LumoRig {
  explicit LumoRig(std::vector<std::uint8_t> music) : server({"127.0.0.1:0"}, std::move(music), clock) {
    std::string error;
    EXPECT_TRUE(server.Start(&error)) << error;
    port = static_cast<std::uint16_t>(std::stoi(server.Address().substr(server.Address().rfind(':') + 1)));
  }
  int Client(std::string_view bytes, int receiveBuffer = 0) {
    int fd = LoopbackSocket(port, true, -1, receiveBuffer);
    SendBytes(fd, bytes);
    Pump();
    return fd;
  }
  void Pump(std::int64_t advanceMs = 0) {
    clock.Advance(advanceMs);
    for (int i = 0; i < 3; ++i) server.Poll(1);
  }
  platform::FakeMediaClock clock;
  LumoServer server;
  std::uint16_t port = 0;
};

// The payload of the `n` whole frames (after the value when `first`) that `fd` has waiting.
std::vector<std::uint8_t> Frames(int fd, std::size_t n, bool first = false) {
  std::string wire = ReadUpTo(fd, n * 163 + (first ? 4 : 0), 1000);
  wire += ReadUpTo(fd, 1, 10);
  media::LumoStreamReader reader(!first);
  std::vector<std::uint8_t> payload;
  reader.Feed({reinterpret_cast<const std::uint8_t*>(wire.data()), wire.size()}, payload);
  EXPECT_EQ(reader.Wanted(), media::kLumoHeaderBytes);  // whole frames, nothing more
  EXPECT_EQ(reader.Value(), first ? 8000u : 0u);
  return payload;
}

TEST(LumoServer, SendsOneSecondAtOnceThenAFramePerTwentyMillisecondsOfTheLoopedFile) {
  std::vector<std::uint8_t> music(333);
  for (std::size_t i = 0; i < music.size(); ++i) music[i] = static_cast<std::uint8_t>(i * 7);
  LumoRig rig(music);
  int fd = rig.Client(kLogin);
  std::vector<std::uint8_t> heard = Frames(fd, 50, true);
  for (auto [advance, frames] : {std::pair{19, 0}, {1, 1}, {100, 5}, {1000, 50}}) {
    rig.Pump(advance);
    const std::vector<std::uint8_t> more = Frames(fd, frames);
    heard.insert(heard.end(), more.begin(), more.end());
  }
  ASSERT_EQ(heard.size(), 106u * 160);
  for (std::size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], music[i % music.size()]) << i;
  close(fd);
}

TEST(LumoServer, AnythingButTheLoginIsClosedWithoutAReply) {
  for (const std::string& sent : {std::string("\xB2", 1), std::string("\xB1\x01", 2), std::string("GET / HTTP/1.0")}) {
    LumoRig rig({1, 2, 3});
    int fd = rig.Client(sent);
    bool closed = false;
    EXPECT_EQ(ReadUpTo(fd, 4, 1000, &closed), "") << sent;
    EXPECT_TRUE(closed && rig.server.ClientCount() == 0) << sent;
    close(fd);
  }
}

TEST(LumoServer, SlowLoginsAreServedSilentAndStalledClientsDroppedWithoutHoldingUpTheOthers) {
  LumoRig rig({9});
  int slow = rig.Client(kLogin.substr(0, 1));
  int silent = rig.Client("");
  rig.Pump(9999);
  SendBytes(slow, kLogin.substr(1));
  rig.Pump();
  Frames(slow, 50, true);
  rig.Pump(1);
  EXPECT_TRUE(PeerClosed(silent, 1000));  // no login within 10 s
  int stalled = rig.Client(kLogin, 2048);  // never reads
  for (int second = 1; second <= 90; ++second) {
    rig.Pump(1000);
    ASSERT_EQ(Frames(slow, 50), std::vector<std::uint8_t>(50 * 160, 9)) << second;
    EXPECT_TRUE(second >= 60 || rig.server.ClientCount() == 2) << second;  // a minute without taking a byte
  }
  EXPECT_EQ(rig.server.ClientCount(), 1u);
  EXPECT_TRUE(PeerClosed(stalled, 1000));
  for (int fd : {slow, silent, stalled}) close(fd);
}

}  // namespace
}  // namespace corvina::servers
