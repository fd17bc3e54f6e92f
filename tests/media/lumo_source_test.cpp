// Music on hold: the Lumo stream reader, the Lumo source and link test against a fake server on
// loopback, and the hold player that feeds a source to a sender of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

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

Bytes Header(std::size_t n) { return {0x00, static_cast<std::uint8_t>(n & 0xFF), static_cast<std::uint8_t>(n >> 8)}; }
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
  }
  struct Case {
    Bytes bytes;
    LumoStreamReader::Ending ending;
    std::size_t payload;
    bool skipValue = false;
  } cases[] = {
      {{0xFE, 0, 0, 0, 0x00, 0x01}, LumoStreamReader::Ending::kRefused, 0},  // 254 < 255
      {Join({{0xFF, 0, 0, 0}, Header(1024), Bytes(1000)}), LumoStreamReader::Ending::kNone, 1000},
      {Join({{0xFF, 0, 0, 0}, Header(0xFFFF)}), LumoStreamReader::Ending::kEndOfStream, 0},
      {Join({Header(1), {0x77}}), LumoStreamReader::Ending::kNone, 1, true},
  };
  for (const Case& c : cases) {
    LumoStreamReader reader(c.skipValue);
    Bytes payload;
    reader.Feed(c.bytes, payload);
    EXPECT_EQ(reader.HowEnded(), c.ending);
    EXPECT_EQ(payload.size(), c.payload);
  }
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
  ~FakeLumo() { Join(), fd >= 0 ? close(fd) : 0; }
  void Join() { peer.joinable() ? peer.join() : void(); }
  std::string Server() const { return "127.0.0.1:" + std::to_string(listener.port); }
  corvina::testing::RawListener listener;
  int fd = -1;
  std::string greeting;  // the peer thread's until joined
  std::thread peer;
};

LumoSourceConfig Config(std::string server, testing::RecordingLog& log) {
  return {std::move(server), &log, nullptr, nullptr, 10000, 5000, 2000, 2000, 2000};
}

TEST(LumoSourceTest, PreFillsSilenceThenPlaysTheSplitFramesUntilTheEndAndZerosOnUnderrun) {
  FakeLumo server(kStream, 2);
  testing::RecordingLog log;
  LumoSource source(Config(server.Server(), log));
  ASSERT_TRUE(corvina::testing::PollUntil([&] { return !source.Running(); }, 10000));
  server.Join();
  EXPECT_EQ(server.greeting, std::string("\xB1\x00", 2));
  ASSERT_EQ(source.Buffered(), kLumoPrefillBytes + kMusic.size());
  std::vector<std::int32_t> samples(kLumoPrefillBytes);
  EXPECT_EQ(source.Transfer(samples), kLumoPrefillBytes);
  EXPECT_EQ(samples, std::vector<std::int32_t>(kLumoPrefillBytes, MulawDecodeSample(kLumoSilence)));
  std::vector<std::int32_t> tail(kMusic.size() + 4, 99), expected(kMusic.size() + 4, 0);
  for (std::size_t i = 0; i < kMusic.size(); ++i) expected[i] = MulawDecodeSample(kMusic[i]);
  EXPECT_EQ(source.Transfer(tail), kMusic.size());
  EXPECT_EQ(tail, expected);
  EXPECT_TRUE(log.LinesWithLevels().empty());
}

TEST(LumoSourceTest, ALinkThatCannotConnectOrLogInSaysHoldConnectionFailedAndStaysSilent) {
  std::uint16_t closedPort = 0;
  close(corvina::testing::LoopbackSocket(closedPort, true, 0));  // a port nobody listens on
  struct Case { const char* what; std::optional<Bytes> reply; /* none: no server */ } cases[] = {
      {"no server", std::nullopt},
      {"a value below 255", Bytes{0xFE, 0, 0, 0}},
      {"the server closes before its value", Bytes{0x40, 0x1F}},
  };
  for (const Case& c : cases) {
    std::optional<FakeLumo> server;
    if (c.reply) server.emplace(*c.reply, 1);
    testing::RecordingLog log;
    LumoSource source(Config(server ? server->Server() : "127.0.0.1:" + std::to_string(closedPort), log));
    if (server) server->Join(), close(std::exchange(server->fd, -1));
    ASSERT_TRUE(corvina::testing::PollUntil([&] { return !source.Running(); }, 10000)) << c.what;
    EXPECT_EQ(log.LinesWithLevels(), std::vector<std::string>{"Hold Connection Failed @1"}) << c.what;
    std::vector<std::int32_t> samples(160, 7);
    EXPECT_EQ(source.Transfer(samples), 0u) << c.what;
    EXPECT_EQ(samples, std::vector<std::int32_t>(160, 0)) << c.what;
    // The option page's link test fails alike.
    std::optional<FakeLumo> probe;
    if (c.reply) probe.emplace(*c.reply, 1);
    LumoSourceConfig config = Config(probe ? probe->Server() : "127.0.0.1:" + std::to_string(closedPort), log);
    config.valueTimeoutMs = 300;
    EXPECT_FALSE(TestLumoLink(config, nullptr)) << c.what;
  }
  FakeLumo accepting(kValue8000, 4);
  testing::RecordingLog log;
  EXPECT_TRUE(TestLumoLink(Config(accepting.Server(), log), nullptr));
}

TEST(LumoSourceTest, CloseDoesNotWaitForASilentServerAndLogsNothing) {
  corvina::testing::RawListener listener;  // connects (the backlog) but never answers
  testing::RecordingLog log;
  LumoSourceConfig config = Config("127.0.0.1:" + std::to_string(listener.port), log);
  LumoSource source((config.valueTimeoutMs = 60000, config));
  const int fd = listener.Accept(10000);  // the source has connected and waits for the value
  ASSERT_GE(fd, 0);
  const auto start = std::chrono::steady_clock::now();
  source.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(log.LinesWithLevels().empty());
  close(fd);
}

// Counts the frames it is given and the samples that were not silence.
struct CountingSender final : AudioSink {
  CountingSender() : AudioSink(8000, 1) {}
  std::size_t Transfer(std::span<std::int32_t> samples) override {
    return frames += samples.size() == 160, loud += 160 - std::count(samples.begin(), samples.end(), 0), samples.size();
  }
  std::atomic<int> frames{0}, loud{0};
};

TEST(HoldPlayerTest, FeedsItsOwnSenderFramesOf8000HzMonoAndReleasesItWhenStopped) {
  for (std::uint32_t rate : {8000u, 16000u}) {
    auto source = std::make_shared<SampleBufferSource>(std::vector<std::int32_t>(64000, 1000), rate);
    auto sender = std::make_shared<CountingSender>();
    const std::weak_ptr<CountingSender> made = sender;
    CountingSender& counts = *sender;  // alive while the player runs
    auto player = std::make_unique<HoldPlayer>(source, [s = sender]() mutable { return std::exchange(s, {}); });
    sender.reset();
    ASSERT_TRUE(player->Start());
    ASSERT_TRUE(corvina::testing::PollUntil([&] { return counts.frames >= 10; }, 10000));
    EXPECT_GT(counts.loud.load(), 0) << rate;
    player.reset();
    EXPECT_TRUE(made.expired()) << "the sender went with the player's thread";
  }
}

}  // namespace
}  // namespace corvina::media
