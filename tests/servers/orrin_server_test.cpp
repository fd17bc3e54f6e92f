// The Orrin server against raw sockets: a recording from greeting to close, refusals, broken
// and short frames, slow and silent clients, the client limit, and names that try to leave the
// folder. The server runs on the test's thread; its opening time-out runs on a fake clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "media/orrin_link.h"
#include "media/wav_file.h"
#include "servers/orrin_server.h"
#include "tests/support/raw_tcp.h"
#include "tests/support/temp_folder.h"

namespace corvina::servers {
namespace {

using namespace corvina::testing;

const std::string kAccept("<\0", 2);

// A frame of the signature nibble and zeros: it decodes to 160 samples like any other.
const std::string kFrame = "\x80\x21\xd0" + std::string(32, '\0');

struct ServerRig {
  explicit ServerRig(std::vector<std::string> codes = {}, std::size_t maxClients = 16)
      : server({"127.0.0.1:0", folder.Path().string(), std::move(codes), maxClients},
               [this](std::string_view l) { lines.emplace_back(l); }, errors, clock, wall) {
    std::string error;
    EXPECT_TRUE(server.Start(&error)) << error;
    port = static_cast<std::uint16_t>(std::stoi(server.Address().substr(server.Address().rfind(':') + 1)));
  }
  void Pump() {  // lets the server serve what has arrived
    for (int i = 0; i < 3; ++i) server.Poll(1);
  }
  int Client(std::string_view bytes) {
    int fd = ConnectTo(port);
    SendBytes(fd, bytes);
    Pump();
    return fd;
  }
  std::string File(const std::string& name) const { return (folder.Path() / name).string(); }

  TempFolder folder{"orrin"};
  platform::NullLogSink errors;
  platform::FakeMediaClock clock;
  platform::FakeWallClock wall{1740906307};  // 2025-03-02 09:05:07
  std::vector<std::string> lines;
  OrrinServer server;
  std::uint16_t port = 0;
};

std::uint64_t FramesIn(const std::string& path) {
  media::WavReader reader;
  return reader.Open(path) == media::WavError::kNone ? reader.FrameCount() : 999999;
}

TEST(OrrinServer, RecordsEachStreamToItsOwnFileAndNeverOverwrites) {
  ServerRig rig({"good"});
  const std::string opening = media::MakeOrrinGreeting("good") + media::MakeOrrinNameFrame("../../etc/\"Al\" 5");
  const std::string path = rig.File("2025-03-02 09-05-07 etcAl 5.wav");
  const std::string second = rig.File("2025-03-02 09-05-07 etcAl 5 (2).wav");
  for (const std::string& expected : {path, second}) {
    int fd = rig.Client(opening + kFrame + kFrame + kFrame.substr(0, 20));
    EXPECT_EQ(ReadUpTo(fd, 2, 1000), kAccept);
    close(fd);
    rig.Pump();
    EXPECT_EQ(FramesIn(expected), 2 * media::kFrameSamples);
  }
  EXPECT_EQ(rig.lines, (std::vector<std::string>{"opened " + path, "closed " + path, "opened " + second,
                                                 "closed " + second}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.folder.Path()), {}), 2);
}

TEST(OrrinServer, BadOpeningsAndBrokenFramesCloseTheConnection) {
  struct Case {
    std::string sent;
    std::string reply;
    std::uint64_t frames;  // in the file, or none when no file is made
  };
  const std::string name = media::MakeOrrinNameFrame("n");
  const std::vector<Case> cases = {
      {"\x1c" + std::string(65, '\0'), "", 0},
      {media::MakeOrrinGreeting("bad") + name, "<\3", 0},
      {media::MakeOrrinGreeting("good") + "\x01\x01x", kAccept, 0},
      {media::MakeOrrinGreeting("good") + name + kFrame + "\x80\x22" + std::string(33, '\0'), kAccept, 160},
      {media::MakeOrrinGreeting("good") + name + kFrame + "\x81", kAccept, 160},
  };
  for (const Case& c : cases) {
    ServerRig rig({"good", "other"});
    int fd = rig.Client(c.sent);
    EXPECT_EQ(ReadUpTo(fd, 3, 1000), c.reply) << c.sent.size();
    EXPECT_TRUE(PeerClosed(fd, 1000)) << c.sent.size();
    close(fd);
    EXPECT_EQ(rig.server.ClientCount(), 0u);
    EXPECT_EQ(rig.lines.size(), c.frames > 0 ? 2u : 0u);
    if (c.frames > 0) {
      EXPECT_EQ(FramesIn(rig.File("2025-03-02 09-05-07 n.wav")), c.frames);
    }
  }
}

TEST(OrrinServer, SlowClientsAreServedAndSilentOnesDroppedAfterTenSeconds) {
  ServerRig rig({}, 3);
  const std::string opening = media::MakeOrrinGreeting("") + media::MakeOrrinNameFrame("slow") + kFrame;
  int slow = rig.Client("");
  int silent = rig.Client("");
  for (std::size_t i = 0; i < opening.size(); ++i) {  // one byte per 100 ms: opened after 7.2 s
    SendBytes(slow, opening.substr(i, 1));
    rig.clock.Advance(100);
    rig.Pump();
  }
  EXPECT_EQ(rig.server.ClientCount(), 1u);  // the silent one is gone after 10 s
  EXPECT_TRUE(PeerClosed(silent, 1000));
  int full1 = rig.Client("");
  int full2 = rig.Client("");
  int refused = rig.Client("");  // the fourth of at most three
  EXPECT_TRUE(PeerClosed(refused, 1000));
  EXPECT_EQ(rig.server.ClientCount(), 3u);
  EXPECT_EQ(ReadUpTo(slow, 2, 1000), kAccept);
  rig.server.CloseAll();
  EXPECT_EQ(FramesIn(rig.File("2025-03-02 09-05-07 slow.wav")), media::kFrameSamples);
  EXPECT_EQ(rig.lines.size(), 2u);
  for (int fd : {slow, silent, full1, full2, refused}) close(fd);
}

TEST(OrrinServer, TheRecordPageLinkTestPassesOnlyWithAnAcceptedCode) {
  ServerRig rig({"good"});
  struct { std::string hosts; const char* code; bool passes; } cases[] = {
      {"127.0.0.1:" + std::to_string(rig.port), "good", true},
      {"127.0.0.1:" + std::to_string(rig.port), "bad", false},
      {"127.0.0.1:1 127.0.0.1:" + std::to_string(rig.port), "good", true},  // the next host of the list
      {"127.0.0.1:1", "good", false},
  };
  for (const auto& c : cases) {
    media::OrrinLinkConfig config;
    config.hosts = c.hosts;
    config.accessCode = c.code;
    auto test = std::async(std::launch::async, [&config] { return media::TestOrrinLink(config, nullptr); });
    while (test.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) rig.server.Poll(10);
    EXPECT_EQ(test.get(), c.passes) << c.hosts << " " << c.code;
  }
}

}  // namespace
}  // namespace corvina::servers
