// The Lumo hold source: the stream reader fed in pieces of every size, and the source against a
// fake server on loopback (the opening bytes, the pre-fill, split frames, the end at 1025,
// silence on underrun, the failures that log "Hold Connection Failed", a stop while waiting);
// and the hold player that feeds a source to a sender of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "media/g711.h"
#include "media/hold_player.h"
#include "media/lumo_source.h"
#include "media/wav_file_source.h"
#include "tests/media/support/test_doubles.h"
#include "tests/support/poll_until.h"
#include "tests/support/raw_tcp.h"

namespace corvina::media {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Header(std::size_t length) {
  return {0x00, static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8)};
}
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
const Bytes kValue8000 = {0x40, 0x1F, 0x00, 0x00};
const Bytes kMusic = {0x10, 0x20, 0x30, 0x40, 0x50};
// Two frames (3 and 2 bytes, an empty one between), the end, and bytes that follow the end.
const Bytes kStream = Join({kValue8000, Header(3), {0x10, 0x20, 0x30}, Header(0), Header(2), {0x40, 0x50},
                            Header(1025), {0xAA, 0xBB}});

TEST(LumoStreamReaderTest, PayloadComesOutHoweverTheBytesAreCutAndALengthAbove1024Ends) {
  for (std::size_t piece : {1u, 2u, 3u, 7u, 100u}) {
    LumoStreamReader reader;
    Bytes payload;
    std::size_t used = 0;
    for (std::size_t at = 0; at < kStream.size(); at += piece) {
      const std::size_t n = std::min(piece, kStream.size() - at);
      used += reader.Feed({kStream.data() + at, n}, payload);
    }
    EXPECT_EQ(payload, kMusic) << piece;
    EXPECT_EQ(reader.Value(), 8000u);
    EXPECT_EQ(reader.HowEnded(), LumoStreamReader::Ending::kEndOfStream);
    EXPECT_EQ(used, kStream.size() - 2) << "nothing after the end is taken";
    EXPECT_EQ(reader.Wanted(), 0u);
  }
  struct Case {
    Bytes bytes;
    LumoStreamReader::Ending ending;
    std::size_t payload;
  } cases[] = {
      {{0xFE, 0, 0, 0, 0x00, 0x01}, LumoStreamReader::Ending::kRefused, 0},  // 254 < 255
      {Join({{0xFF, 0, 0, 0}, Header(1024)}), LumoStreamReader::Ending::kNone, 0},
      {Join({{0xFF, 0, 0, 0}, Header(0xFFFF)}), LumoStreamReader::Ending::kEndOfStream, 0},
  };
  for (const Case& c : cases) {
    LumoStreamReader reader;
    Bytes payload;
    reader.Feed(c.bytes, payload);
    EXPECT_EQ(reader.HowEnded(), c.ending);
    EXPECT_EQ(payload.size(), c.payload);
  }
  LumoStreamReader atHeader(true);
  Bytes payload;
  atHeader.Feed(Join({Header(1), {0x77}}), payload);
  EXPECT_EQ(payload, Bytes{0x77});
}

// One client: checks the opening bytes, then sends `reply` in pieces of `piece` bytes, 5 ms
// apart, and keeps the socket open until the test ends.
struct FakeLumo {
  FakeLumo(Bytes reply, std::size_t piece) {
    peer = std::thread([this, reply, piece] {
      if ((fd = listener.Accept(10000)) < 0) return;
      greeting = corvina::testing::ReadUpTo(fd, 2, 10000);
      for (std::size_t at = 0; at < reply.size(); at += piece) {
        const std::size_t n = std::min(piece, reply.size() - at);
        corvina::testing::SendBytes(fd, {reinterpret_cast<const char*>(reply.data() + at), n});
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }
  ~FakeLumo() {
    if (peer.joinable()) peer.join();
    if (fd >= 0) close(fd);
  }
  std::string Server() const { return "127.0.0.1:" + std::to_string(listener.port); }
  corvina::testing::RawListener listener;
  int fd = -1;
  std::string greeting;  // the peer thread's until joined
  std::thread peer;
};

LumoSourceConfig Config(std::string server, testing::RecordingLog& log) {
  LumoSourceConfig config;
  config.server = std::move(server);
  config.log = &log;
  config.valueTimeoutMs = config.headerTimeoutMs = config.payloadTimeoutMs = 2000;
  return config;
}

TEST(LumoSourceTest, PreFillsSilenceThenPlaysTheSplitFramesUntilTheEndAndZerosOnUnderrun) {
  FakeLumo server(kStream, 2);
  testing::RecordingLog log;
  LumoSource source(Config(server.Server(), log));
  ASSERT_TRUE(corvina::testing::PollUntil([&] { return !source.Running(); }, 10000));
  server.peer.join();
  EXPECT_EQ(server.greeting, std::string("\xB1\x00", 2));
  ASSERT_EQ(source.Buffered(), kLumoPrefillBytes + kMusic.size());
  std::vector<std::int32_t> samples(kLumoPrefillBytes);
  EXPECT_EQ(source.Transfer(samples), kLumoPrefillBytes);
  EXPECT_EQ(samples, std::vector<std::int32_t>(kLumoPrefillBytes, MulawDecodeSample(kLumoSilence)));
  std::vector<std::int32_t> tail(kMusic.size() + 4, 99);
  EXPECT_EQ(source.Transfer(tail), kMusic.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    EXPECT_EQ(tail[i], i < kMusic.size() ? MulawDecodeSample(kMusic[i]) : 0) << i;
  }
  EXPECT_TRUE(log.LinesWithLevels().empty());
}

TEST(LumoSourceTest, ALinkThatCannotConnectOrLogInSaysHoldConnectionFailedAndStaysSilent) {
  std::uint16_t closedPort = 0;
  close(corvina::testing::LoopbackSocket(closedPort, true, 0));  // a port nobody listens on
  struct Case {
    const char* what;
    std::optional<Bytes> reply;  // none: no server at all
  } cases[] = {
      {"no server", std::nullopt},
      {"a value below 255", Bytes{0xFE, 0, 0, 0}},
      {"the server closes before its value", Bytes{0x40, 0x1F}},
  };
  for (const Case& c : cases) {
    std::optional<FakeLumo> server;
    if (c.reply) server.emplace(*c.reply, 1);
    testing::RecordingLog log;
    LumoSource source(Config(server ? server->Server() : "127.0.0.1:" + std::to_string(closedPort), log));
    if (server) server->peer.join(), close(std::exchange(server->fd, -1));
    ASSERT_TRUE(corvina::testing::PollUntil([&] { return !source.Running(); }, 10000)) << c.what;
    EXPECT_EQ(log.LinesWithLevels(), std::vector<std::string>{"Hold Connection Failed @1"}) << c.what;
    std::vector<std::int32_t> samples(160, 7);
    EXPECT_EQ(source.Transfer(samples), 0u) << c.what;
    EXPECT_EQ(samples, std::vector<std::int32_t>(160, 0)) << c.what;
  }
}

TEST(LumoSourceTest, CloseDoesNotWaitForASilentServerAndLogsNothing) {
  corvina::testing::RawListener listener;  // connects (the backlog) but never answers
  testing::RecordingLog log;
  LumoSourceConfig config = Config("127.0.0.1:" + std::to_string(listener.port), log);
  config.valueTimeoutMs = 60000;
  LumoSource source(std::move(config));
  const int fd = listener.Accept(10000);  // the source has connected and waits for the value
  ASSERT_GE(fd, 0);
  const auto start = std::chrono::steady_clock::now();
  source.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(source.Running());
  EXPECT_TRUE(log.LinesWithLevels().empty());
  close(fd);
}

// Counts the frames it is given and the samples that were not silence.
struct CountingSender final : AudioSink {
  CountingSender() : AudioSink(8000, 1) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    frames += samples.size() == 160;
    for (std::int32_t s : samples) loud += s != 0;
    return samples.size();
  }
  std::atomic<int> frames{0}, loud{0};
};

TEST(HoldPlayerTest, FeedsItsOwnSenderFramesOf8000HzMonoAndReleasesItWhenStopped) {
  for (std::uint32_t rate : {8000u, 16000u}) {
    auto source = std::make_shared<SampleBufferSource>(std::vector<std::int32_t>(64000, 1000), rate);
    std::weak_ptr<CountingSender> made;
    auto player = std::make_unique<HoldPlayer>(source, [&made] {
      auto sender = std::make_shared<CountingSender>();
      return made = sender, sender;
    });
    ASSERT_TRUE(player->Start());
    ASSERT_TRUE(corvina::testing::PollUntil([&] { auto s = made.lock(); return s && s->frames >= 10; }, 10000));
    EXPECT_GT(made.lock()->loud.load(), 0) << rate;
    player.reset();
    EXPECT_TRUE(made.expired()) << "the sender went with the player's thread";
  }
}

}  // namespace
}  // namespace corvina::media
