// The RTP voice sender and what it shares with the other senders of a session. Proves:
// - frames of 160 samples whatever the write sizes; numbering +1 / +160; payload per codec;
// - silence suppression with comfort noise: packet timestamps 0, 85, 1090, 2095 ms after the
//   last voice frame, 13-byte CN packets, the marker on the first voice packet after them;
// - the final 80-sample step, the DTMF-sending flag, unknown payload types, a closed socket;
// - the sent-audio tap; the pacer (a file held to real time, a microphone never delayed);
// - the keep-alive after 55 s without sending.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "media/g711.h"
#include "media/rtp_sender.h"
#include "platform/clock.h"
#include "tests/media/support/rtp_capture.h"
#include "tests/media/support/test_doubles.h"

namespace corvina::media {
namespace {

using testing::CapturingTransport;
using testing::CollectingSink;
using testing::MakeSendState;
using testing::PacketLog;
using testing::SentPacket;

constexpr std::uint8_t kCn = 13;

std::vector<std::int32_t> Loud(std::size_t n) {
  std::vector<std::int32_t> s(n);
  for (std::size_t i = 0; i < n; ++i) s[i] = (i % 2 == 0 ? 1 : -1) * static_cast<std::int32_t>(100000 + i);
  return s;
}

std::vector<std::int32_t> Quiet(std::size_t n) { return std::vector<std::int32_t>(n, 0); }

// Writes `samples` in uneven pieces.
void WriteInPieces(AudioSink& sink, std::vector<std::int32_t> samples) {
  std::size_t at = 0;
  for (std::size_t piece = 7; at < samples.size(); piece = piece * 3 % 251 + 1) {
    const std::size_t n = std::min(piece, samples.size() - at);
    sink.Transfer(std::span(samples).subspan(at, n));
    at += n;
  }
}

struct SenderFixture : ::testing::Test {
  platform::FakeMediaClock clock{1000};
  std::shared_ptr<PacketLog> log = std::make_shared<PacketLog>();
  std::vector<int> sleeps;
  PacerSleep sleep = [this](int ms) {
    sleeps.push_back(ms);
    clock.Advance(ms);
  };
  std::shared_ptr<RtpSendState> Make(RtpPayloadTypes types, RtpNumbering numbering = {0x11223344, 1000, 50000}) {
    return MakeSendState(clock, log, types, numbering);
  }
};

struct CodecCase {
  std::uint8_t audio;
  std::uint8_t g726;
  CodecId codec;
  std::size_t payload;
};

TEST_F(SenderFixture, EveryFrameIsSentWithoutComfortNoiseWithTheCodecOfThePayloadType) {
  const CodecCase cases[] = {{0, 255, CodecId::kPcmu, 160},
                             {8, 255, CodecId::kPcma, 160},
                             {3, 255, CodecId::kGsm, 33},
                             {97, 97, CodecId::kG726_32, 80}};
  for (const CodecCase& c : cases) {
    log->packets.clear();
    auto state = Make({c.audio, kPayloadNone, kPayloadNone, c.g726});
    std::vector<std::int32_t> audio = Loud(320);
    const std::vector<std::int32_t> quiet = Quiet(160);
    audio.insert(audio.end(), quiet.begin(), quiet.end());
    {
      RtpSender sender(state, sleep);
      WriteInPieces(sender, audio);
      WriteInPieces(sender, Quiet(100));  // less than a frame: stays in the buffer
      ASSERT_EQ(log->Count(), 3u) << int(c.audio);
    }
    const std::vector<SentPacket> packets = log->Snapshot();
    FrameEncoder reference(c.codec);
    for (std::size_t i = 0; i < 3; ++i) {
      const SentPacket& p = packets[i];
      EXPECT_EQ(p.bytes[0], 0x80);
      EXPECT_EQ(p.Marker(), i == 0);
      EXPECT_EQ(p.PayloadType(), c.audio);
      EXPECT_EQ(p.Sequence(), 1000 + i);
      EXPECT_EQ(p.Timestamp(), 50000 + 160 * i);
      EXPECT_EQ(p.Ssrc(), 0x11223344u);
      std::vector<std::uint8_t> expected(c.payload);
      reference.Encode(std::span(audio).subspan(i * 160).first<160>(), expected);
      EXPECT_EQ(std::vector<std::uint8_t>(p.bytes.begin() + 12, p.bytes.end()), expected) << int(c.audio);
      EXPECT_EQ(p.to, (platform::SocketAddress{0x7F000001, 4000}));
    }
    // The sender's end after talking: one silence step, a header alone without a CN type.
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets[3].bytes.size(), 12u);
    EXPECT_EQ(packets[3].PayloadType(), c.audio);
    EXPECT_FALSE(packets[3].Marker());
    EXPECT_EQ(packets[3].Timestamp(), 50480u);
  }
}

TEST_F(SenderFixture, ComfortNoiseFollowsSpeechAt0_85_1090_2095MsAndSpeechResumesWithTheMarker) {
  auto state = Make({0, kCn, kPayloadNone, kPayloadNone});
  RtpSender sender(state, sleep);
  WriteInPieces(sender, Loud(480));
  WriteInPieces(sender, Quiet(3 * 8000));
  WriteInPieces(sender, Loud(480));
  const std::vector<SentPacket> packets = log->Snapshot();
  // The first quiet frame still goes out as voice: it is what ends the talk spurt.
  ASSERT_GE(packets.size(), 4u + 4u + 1u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(packets[i].Marker(), i == 0);
  EXPECT_EQ(packets[3].PayloadBytes(), 160u);
  const std::uint32_t speechEnd = 50000 + 640;
  const std::uint32_t noiseAtMs[] = {0, 85, 1090, 2095};
  for (std::size_t k = 0; k < 4; ++k) {
    const SentPacket& p = packets[4 + k];
    ASSERT_EQ(p.bytes.size(), 13u);
    EXPECT_EQ(p.PayloadType(), kCn);
    EXPECT_EQ(p.bytes[12], 0x3F);
    EXPECT_FALSE(p.Marker());
    EXPECT_EQ(p.Timestamp(), speechEnd + noiseAtMs[k] * 8) << k;
  }
  const SentPacket& resumed = packets[8];
  EXPECT_EQ(resumed.PayloadType(), 0);
  EXPECT_TRUE(resumed.Marker());
  // Talk is noticed within the first half of a frame: the frame starts at most 80 samples
  // before the loud onset.
  const std::uint32_t onset = speechEnd + 3 * 8000 - 160;
  EXPECT_LE(resumed.Timestamp(), onset);
  EXPECT_GE(resumed.Timestamp(), onset - 80);
  EXPECT_EQ((resumed.Timestamp() - speechEnd) % 40, 0u);
  for (std::size_t i = 1; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].Sequence(), static_cast<std::uint16_t>(packets[i - 1].Sequence() + 1));
    EXPECT_FALSE(i > 8 && packets[i].Marker());
  }
}

TEST_F(SenderFixture, AStreamThatStartsSilentSendsNoiseAtOnceThenEverySecond) {
  auto state = Make({0, kCn, kPayloadNone, kPayloadNone});
  {
    RtpSender sender(state, sleep);
    EXPECT_TRUE(state->SenderAttached());
    WriteInPieces(sender, Quiet(8000 + 120 + 80));  // 202 silence steps
  }
  EXPECT_FALSE(state->SenderAttached());
  const std::vector<SentPacket> packets = log->Snapshot();
  // The final step of a silent sender sends nothing.
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].Timestamp(), 50000u);
  EXPECT_EQ(packets[1].Timestamp(), 50000u + 8040u);
  EXPECT_EQ(state->Lock().Timestamp(), 50000u + 8040u + 40u + 80u);
}

TEST_F(SenderFixture, WhileADigitGoesOutFramesAndStepsOnlyMoveTheTimestamp) {
  for (std::uint8_t cn : {kPayloadNone, kCn}) {
    log->packets.clear();
    auto state = Make({0, cn, kPayloadNone, kPayloadNone});
    RtpSender sender(state, sleep);
    state->Lock().SetDtmfSending(true);
    WriteInPieces(sender, Loud(480));
    WriteInPieces(sender, Quiet(1600));
    EXPECT_EQ(log->Count(), 0u);
    // Every sample written has moved the clock, bar the 120 a silent buffer keeps.
    EXPECT_EQ(state->Lock().Timestamp(), 50000u + 2080u - (cn == kCn ? 120u : 0u)) << int(cn);
    state->ClearDtmfSending();
  }
}

TEST_F(SenderFixture, NothingIsSentToAClosedSocketAnUnresolvedOrSuppressedRemoteOrAnUnknownCodec) {
  auto state = Make({0, kPayloadNone, kPayloadNone, kPayloadNone});
  RtpSender sender(state, sleep);
  state->CloseTransport();
  WriteInPieces(sender, Loud(160));
  EXPECT_EQ(state->Lock().Timestamp(), 50160u);  // numbering goes on, the wire stays quiet
  state->AttachTransport(std::make_unique<CapturingTransport>(log));
  RtpRemote remote = state->Remote();
  remote.sendSuppressed = true;
  state->SetRemote(remote);
  WriteInPieces(sender, Loud(160));
  remote.sendSuppressed = false;
  remote.destination.address = 0;
  state->SetRemote(remote);
  WriteInPieces(sender, Loud(160));
  remote.destination.address = 0x7F000001;
  remote.types.audio = 18;  // not a codec of ours
  state->SetRemote(remote);
  WriteInPieces(sender, Loud(160));
  EXPECT_EQ(log->Count(), 0u);
  EXPECT_EQ(state->Lock().Timestamp(), 50480u);  // the unknown codec did not move it
}

TEST_F(SenderFixture, TheSentAudioTapGetsEveryFrameEvenWhileADigitGoesOut) {
  auto state = Make({8, kPayloadNone, kPayloadNone, kPayloadNone});
  auto tap = std::make_shared<CollectingSink>();
  state->SentAudioTap().Set(tap);
  RtpSender sender(state, sleep);
  const std::vector<std::int32_t> audio = Loud(480);
  WriteInPieces(sender, std::vector(audio.begin(), audio.begin() + 160));
  state->Lock().SetDtmfSending(true);
  WriteInPieces(sender, std::vector(audio.begin() + 160, audio.end()));
  state->SentAudioTap().Set(nullptr);
  WriteInPieces(sender, Loud(160));
  EXPECT_EQ(tap->Got(), audio);
}

TEST_F(SenderFixture, AMicrophoneIsNeverDelayedAndAFileIsHeldToRealTimeAcrossTimestampWrap) {
  for (std::uint32_t start : {50000u, 0xFFFFFFFFu - 8000u * 5u}) {
    auto state = Make({0, kPayloadNone, kPayloadNone, kPayloadNone}, {1, 1, start});
    RtpSender sender(state, sleep);
    sleeps.clear();
    // A live source: 20 ms of audio every 20 ms, with capture blocks bunched up to 100 ms,
    // for 250 s (the pacer's base moves on every 100 s).
    for (int block = 0; block < 2500; ++block) {
      clock.Advance(100);
      WriteInPieces(sender, Loud(800));
    }
    EXPECT_TRUE(sleeps.empty()) << start;
    // A file: 10 s written as fast as the thread can; only the pacer's sleeps pass time.
    const std::int64_t before = clock.NowMs();
    for (int frame = 0; frame < 500; ++frame) {
      std::vector<std::int32_t> block = Loud(160);
      sender.Transfer(block);
    }
    EXPECT_GT(clock.NowMs() - before, 9000) << start;
    std::int64_t ahead = 0;
    {
      RtpSendState::Locked s = state->Lock();
      ahead = s.Pacer().Ahead(s.NowMs(), s.Timestamp());
    }
    EXPECT_GE(ahead, 220) << start;
    EXPECT_LE(ahead, 240) << start;
    // A new sender after it waits until at most 20 ms are left in front.
    EXPECT_EQ(RtpSender::StartDelayMs(*state), 200 - 20);
    clock.Advance(220);
    EXPECT_EQ(RtpSender::StartDelayMs(*state), 0);
  }
}

TEST(SendPacerTest, StartDelayIsCappedAndAFallenBehindSenderStartsAFreshBase) {
  SendPacer pacer(0, 0);
  EXPECT_EQ(pacer.StartDelay(0, 8 * 500), 180);
  EXPECT_EQ(pacer.StartDelay(0, 8 * 100), 80);
  EXPECT_EQ(pacer.StartDelay(0, 8 * 20), 0);
  // 1 s late: no sleep, and the base starts again here, so 240 ms ahead of now is fine.
  EXPECT_EQ(pacer.AfterSend(2000, 8 * 1000), 0);
  EXPECT_EQ(pacer.Ahead(2000, 8 * 1000), 0);
  EXPECT_EQ(pacer.AfterSend(2000, 8 * 1240), 0);
  EXPECT_EQ(pacer.AfterSend(2000, 8 * 1241), 20);
}

TEST_F(SenderFixture, AKeepAliveGoesOutAfter55SecondsWithoutSending) {
  for (std::uint8_t cn : {kCn, kPayloadNone}) {
    log->packets.clear();
    auto state = Make({8, cn, kPayloadNone, kPayloadNone});
    clock.Advance(55000);
    EXPECT_FALSE(state->SendKeepAliveIfIdle());
    clock.Advance(1);
    state->Lock().SetDtmfSending(true);
    EXPECT_FALSE(state->SendKeepAliveIfIdle());
    state->ClearDtmfSending();
    EXPECT_TRUE(state->SendKeepAliveIfIdle());
    EXPECT_FALSE(state->SendKeepAliveIfIdle());  // the keep-alive itself counts as sending
    const std::vector<SentPacket> packets = log->Snapshot();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].bytes.size(), cn == kCn ? 13u : 12u);
    EXPECT_EQ(packets[0].PayloadType(), cn == kCn ? kCn : 8);
    EXPECT_EQ(packets[0].Sequence(), 1000);
    EXPECT_EQ(packets[0].Timestamp(), 50000u);
    EXPECT_EQ(state->Lock().Timestamp(), 50040u);
  }
}

TEST(RtpNumberingTest, FreshNumberingIsRandomNotTheClock) {
  const RtpNumbering a = RtpNumbering::Random();
  const RtpNumbering b = RtpNumbering::Random();
  EXPECT_NE(a.ssrc, b.ssrc);  // fails once in 2^32 runs
  EXPECT_FALSE(a.timestamp == b.timestamp && a.sequence == b.sequence);
}

}  // namespace
}  // namespace corvina::media
