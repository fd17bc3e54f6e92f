// Digits on the wire. Proves:
// - RFC 2833: the six-packet pattern byte for byte, its pauses, the numbering around it, and
//   the 200 ms pause for a character without an event;
// - in-band: the tone pair from the sine table, eight packets in one burst per codec (G.711
//   and GSM encoded with the digit sender's own coder, G726-32 as headers alone), silence for
//   "A", then the 200 ms pause;
// - the timestamp after a digit is at least t0 + 1600; a stop request cuts a digit short;
// - the queue drops digits that find it full and empties on restart;
// - the thread sends queued digits in order and reports the queue done.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "media/dtmf_sender.h"
#include "media/dtmf_tones.h"
#include "media/g711.h"
#include "platform/clock.h"
#include "tests/media/support/rtp_capture.h"
#include "tests/media/support/test_doubles.h"

namespace corvina::media {
namespace {

using testing::Eventually;
using testing::MakeSendState;
using testing::PacketLog;
using testing::SentPacket;

constexpr std::uint8_t kEvent = 101;

// Records each pause and returns at once; refuses (as a stop would) from pause `stopAt` on.
class RecordingWaits final : public DtmfWaits {
 public:
  bool Pause(int ms, platform::Event& stop) override {
    std::lock_guard lock(mutex_);
    pauses_.push_back(ms);
    return !stop.IsSet() && static_cast<int>(pauses_.size()) < stopAt_;
  }
  std::vector<int> Pauses() {
    std::lock_guard lock(mutex_);
    return pauses_;
  }
  int stopAt_ = 1 << 30;

 private:
  std::mutex mutex_;
  std::vector<int> pauses_;
};

struct DtmfFixture : ::testing::Test {
  platform::FakeMediaClock clock{5000};
  std::shared_ptr<PacketLog> log = std::make_shared<PacketLog>();
  RecordingWaits waits;
  platform::Event stop{platform::Event::Mode::kManualReset};
};

TEST_F(DtmfFixture, Rfc2833DigitIsSixPacketsOnOneTimestampWithRepeatsOnOneSequenceNumber) {
  auto state = MakeSendState(clock, log, {0, kPayloadNone, kEvent, kPayloadNone});
  DtmfDigitSender digits(*state);
  ASSERT_TRUE(digits.Send('5', kEvent, waits, stop));
  EXPECT_TRUE(state->DtmfSending());
  const std::vector<SentPacket> packets = log->Snapshot();
  ASSERT_EQ(packets.size(), 6u);
  const std::uint16_t seq[] = {1000, 1001, 1001, 1002, 1002, 1002};
  const std::vector<std::vector<std::uint8_t>> event = {{5, 0x0A, 0x00, 0x00}, {5, 0x0A, 0x03, 0x20},
                                                        {5, 0x0A, 0x03, 0x20}, {5, 0x8A, 0x06, 0x40},
                                                        {5, 0x8A, 0x06, 0x40}, {5, 0x8A, 0x06, 0x40}};
  for (std::size_t i = 0; i < 6; ++i) {
    const SentPacket& p = packets[i];
    ASSERT_EQ(p.bytes.size(), 16u);
    EXPECT_EQ(p.bytes[0], 0x80);
    EXPECT_EQ(p.Marker(), i == 0);
    EXPECT_EQ(p.PayloadType(), kEvent);
    EXPECT_EQ(p.Sequence(), seq[i]);
    EXPECT_EQ(p.Timestamp(), 50000u);
    EXPECT_EQ(p.Ssrc(), 0x11223344u);
    EXPECT_EQ(std::vector<std::uint8_t>(p.bytes.begin() + 12, p.bytes.end()), event[i]) << i;
  }
  EXPECT_EQ(waits.Pauses(), (std::vector<int>{35, 35, 30, 35, 35, 30}));
  RtpSendState::Locked s = state->Lock();
  EXPECT_EQ(s.Timestamp(), 50000u + 1600u);
  EXPECT_EQ(s.TakeSequence(), 1003);
}

TEST_F(DtmfFixture, ACharacterWithoutAnEventIsAPauseAndFlashIsEvent16) {
  auto state = MakeSendState(clock, log, {0, kPayloadNone, kEvent, kPayloadNone});
  DtmfDigitSender digits(*state);
  ASSERT_TRUE(digits.Send('x', kEvent, waits, stop));
  EXPECT_EQ(log->Count(), 0u);
  EXPECT_EQ(waits.Pauses(), std::vector<int>{200});
  ASSERT_TRUE(digits.Send('!', kEvent, waits, stop));
  ASSERT_EQ(log->Count(), 6u);
  EXPECT_EQ(log->Snapshot()[0].bytes[12], 16);
  EXPECT_EQ(DtmfEventCode('#'), 11);
  EXPECT_EQ(DtmfEventCode('D'), 15);
}

TEST(DtmfToneTest, ToneSamplesFollowTheSineTableWithRoundedPhaseSteps) {
  std::array<std::int32_t, kDtmfToneSamples> tone{};
  GenerateDtmfTone('9', tone);
  // 1477 Hz and 852 Hz: steps (f * 4096 + 4000) / 8000 = 756 and 436.
  for (std::size_t i : {0u, 1u, 17u, 999u}) {
    const double a = std::sin(((i + 1) * 756 % 4096) * 2.0 * std::numbers::pi / 4096);
    const double b = std::sin(((i + 1) * 436 % 4096) * 2.0 * std::numbers::pi / 4096);
    EXPECT_EQ(tone[i], static_cast<std::int32_t>((a + b) * 32768.0)) << i;
  }
  GenerateDtmfTone('A', tone);
  EXPECT_TRUE(std::all_of(tone.begin(), tone.end(), [](std::int32_t s) { return s == 0; }));
}

struct InBandCase {
  std::uint8_t audio;
  std::uint8_t g726;
  std::size_t payload;
};

TEST_F(DtmfFixture, InBandDigitIsAnEightPacketBurstThenAPause) {
  const InBandCase cases[] = {{0, 255, 160}, {8, 255, 160}, {3, 255, 33}, {97, 97, 0}};
  for (const InBandCase& c : cases) {
    log->packets.clear();
    auto state = MakeSendState(clock, log, {c.audio, kPayloadNone, kPayloadNone, c.g726});
    DtmfDigitSender digits(*state);
    ASSERT_TRUE(digits.Send('1', kPayloadNone, waits, stop));
    const std::vector<SentPacket> packets = log->Snapshot();
    ASSERT_EQ(packets.size(), 8u) << int(c.audio);
    for (std::size_t k = 0; k < 8; ++k) {
      EXPECT_EQ(packets[k].Marker(), k == 0);
      EXPECT_EQ(packets[k].PayloadType(), c.audio);
      EXPECT_EQ(packets[k].Sequence(), 1000 + k);
      EXPECT_EQ(packets[k].Timestamp(), 50000 + 160 * k);
      EXPECT_EQ(packets[k].PayloadBytes(), c.payload) << int(c.audio);
    }
    if (c.audio == 0) {
      // 100 samples of silence, then the tone.
      std::array<std::int32_t, kDtmfToneSamples> tone{};
      GenerateDtmfTone('1', tone);
      EXPECT_EQ(packets[0].bytes[12 + 99], MulawEncodeSample(0));
      EXPECT_EQ(packets[0].bytes[12 + 100], MulawEncodeSample(tone[0]));
      EXPECT_EQ(packets[6].bytes[12 + 139], MulawEncodeSample(tone[999]));
      EXPECT_EQ(packets[6].bytes[12 + 140], MulawEncodeSample(0));
    }
  }
  EXPECT_EQ(waits.Pauses(), (std::vector<int>{200, 200, 200, 200}));
}

TEST_F(DtmfFixture, InBandAIsEightSilentPackets) {
  auto state = MakeSendState(clock, log, {0, kPayloadNone, kPayloadNone, kPayloadNone});
  DtmfDigitSender digits(*state);
  ASSERT_TRUE(digits.Send('A', kPayloadNone, waits, stop));
  const std::vector<SentPacket> packets = log->Snapshot();
  ASSERT_EQ(packets.size(), 8u);
  for (const SentPacket& p : packets) {
    EXPECT_TRUE(std::all_of(p.bytes.begin() + 12, p.bytes.end(), [](std::uint8_t b) { return b == 0xFF; }));
  }
}

// A voice sender moving the clock by `step` during each pause of a digit.
struct MovingWaits final : DtmfWaits {
  RtpSendState* state = nullptr;
  std::uint32_t step = 0;
  bool Pause(int, platform::Event&) override {
    state->Lock().AdvanceTimestamp(step);
    return true;
  }
};

TEST_F(DtmfFixture, AfterADigitTheTimestampIsAtLeastT0Plus1600) {
  for (std::uint32_t t0 : {50000u, 0xFFFFFFFFu - 100u}) {
    auto state = MakeSendState(clock, log, {0, kPayloadNone, kEvent, kPayloadNone}, {1, 1, t0});
    DtmfDigitSender digits(*state);
    MovingWaits voice;
    voice.state = state.get();
    // Moved part of the way during the digit: topped up to t0 + 1600, across the wrap too.
    voice.step = 160;
    ASSERT_TRUE(digits.Send('1', kEvent, voice, stop));
    EXPECT_EQ(state->Lock().Timestamp(), t0 + 1600u) << t0;
    // Moved further already: left alone.
    voice.step = 400;
    ASSERT_TRUE(digits.Send('2', kEvent, voice, stop));
    EXPECT_EQ(state->Lock().Timestamp(), t0 + 1600u + 2400u) << t0;
  }
}

TEST_F(DtmfFixture, AStopRequestCutsADigitShort) {
  auto state = MakeSendState(clock, log, {0, kPayloadNone, kEvent, kPayloadNone});
  DtmfDigitSender digits(*state);
  waits.stopAt_ = 2;
  EXPECT_FALSE(digits.Send('7', kEvent, waits, stop));
  EXPECT_EQ(log->Count(), 2u);
}

TEST(DtmfQueueTest, AFullQueueDropsFurtherDigitsAndClearEmptiesIt) {
  DtmfQueue queue;
  const std::string many(300, '1');
  EXPECT_EQ(queue.Push(many), DtmfQueue::kSlots - 1);
  EXPECT_EQ(queue.Push("2"), 0u);
  EXPECT_FALSE(queue.Empty());
  queue.Pop();
  EXPECT_EQ(queue.Push("23"), 1u);
  std::string read;
  while (std::optional<char> c = queue.Front()) {
    read += *c;
    queue.Pop();
  }
  EXPECT_EQ(read, std::string(258, '1') + "2");
  queue.Push("45");
  queue.Clear();
  EXPECT_TRUE(queue.Empty());
  EXPECT_FALSE(queue.Front().has_value());
}

TEST_F(DtmfFixture, TheThreadSendsQueuedDigitsInOrderAndReportsTheQueueDone) {
  auto state = MakeSendState(clock, log, {0, kPayloadNone, kEvent, kPayloadNone});
  std::atomic<int> reports{0};
  DtmfSender sender(state, [&] { ++reports; }, &waits);
  ASSERT_TRUE(sender.Start(kEvent));
  ASSERT_TRUE(Eventually([&] { return reports.load() == 1; }));  // the first pass finds nothing
  EXPECT_EQ(sender.SendDigits("3*"), 2u);
  ASSERT_TRUE(Eventually([&] { return reports.load() == 2; }));
  EXPECT_FALSE(state->DtmfSending());
  const std::vector<SentPacket> packets = log->Snapshot();
  ASSERT_EQ(packets.size(), 12u);
  EXPECT_EQ(packets[0].bytes[12], 3);
  EXPECT_EQ(packets[6].bytes[12], 10);
  EXPECT_EQ(packets[6].Timestamp(), 50000u + 1600u);
  EXPECT_TRUE(packets[6].Marker());
  // A restart forgets what was queued but not sent.
  sender.Stop();
  sender.SendDigits("999");
  ASSERT_TRUE(sender.Start(kEvent));
  ASSERT_TRUE(Eventually([&] { return reports.load() == 3; }));
  sender.Stop();
  EXPECT_EQ(log->Count(), 12u);
}

}  // namespace
}  // namespace corvina::media
