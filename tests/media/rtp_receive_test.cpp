// What this file proves about the receive side, driven on a fake clock as the receive thread
// drives it (a pass on every datagram and at every wait's end):
// - packets 1, 3, 2: 2 in time plays in order; 2 late is discarded after 3 played forced;
// - the late window: up to 256 behind is freed, further behind is kept as far ahead;
// - SSRC learning for 5000 ms (3 s adopted, 6 s refused until re-armed), old slots freed;
// - sequence numbers and timestamps wrap; gaps are signed;
// - starvation conceals after speech and plays noise after CN; concealment follows the pitch
//   period even at full scale, fades out, and cross-fades into resumed speech;
// - telephone events, video and unknown types leave playout alone;
// - the output level stays under the cap in a burst after a stall and with a fast peer clock,
//   and what a full ring refuses is not counted as queued;
// - only the source of a played packet is reported for address learning;
// - the taps can be swapped while the receive thread writes.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "media/audio_ring.h"
#include "media/g711.h"
#include "media/receive_taps.h"
#include "media/rtp_receiver.h"
#include "tests/media/support/test_doubles.h"

namespace corvina::media {
namespace {

using testing::CollectingSink;

constexpr std::uint32_t kSsrc = 0x11223344;
const platform::SocketAddress kPeer{0x7F000002, 9000};
const platform::SocketAddress kStray{0x7F000003, 9002};
constexpr std::size_t kPreFill = 1000;  // noise before the first speech: 125 ms

std::vector<std::uint8_t> Packet(std::uint16_t seq, std::uint32_t ts, std::uint8_t code = 0x20, std::uint8_t pt = 0,
                                 std::uint32_t ssrc = kSsrc, std::size_t bytes = 160) {
  std::vector<std::uint8_t> d(kRtpHeaderBytes + bytes, code);
  WriteRtpHeader({false, pt, seq, ts, ssrc}, d);
  return d;
}

// One receive thread's worth of RtpReceiver on a fake clock.
class Call {
 public:
  explicit Call(PlayoutTypes types = {}) : rx(out, types, 1, 0, 0) { Pass(); }

  ReceiveResult Arrive(std::int64_t t, const std::vector<std::uint8_t>& datagram,
                       platform::SocketAddress from = kPeer) {
    RunUntil(t);
    const ReceiveResult r = rx.Buffer().Offer(datagram, from, static_cast<std::uint32_t>(t));
    Pass();
    return r;
  }
  void RunUntil(std::int64_t t) {
    while (deadline <= t) {
      now = deadline;
      Pass();
    }
    now = t;
  }
  void Pass() {
    last = rx.RunPlayout(now);
    ASSERT_GT(last.waitMs, 0);
    deadline = now + last.waitMs;
    maxLevel = std::max(maxLevel, rx.Playout().LevelMs(now));
  }
  const PlayoutStats& Stats() { return rx.Playout().Stats(); }
  std::vector<std::int32_t> Out() { return out.Got(); }

  CollectingSink out;
  RtpReceiver rx;
  std::int64_t now = 0;
  std::int64_t deadline = 0;
  std::int64_t maxLevel = 0;
  PlayoutPass last;
};

std::int32_t Mu(std::uint8_t code) { return MulawDecodeSample(code); }

bool AllEqual(const std::vector<std::int32_t>& s, std::size_t from, std::size_t count, std::int32_t v) {
  return s.size() >= from + count &&
         std::all_of(s.begin() + from, s.begin() + from + count, [v](auto x) { return x == v; });
}

TEST(RtpReceiveTest, ThreeBeforeTwoWaitsForTwoThenPlaysPastIt) {
  const std::uint8_t c1 = 0x20, c2 = 0xA8, c3 = 0x30;  // 2 has the other sign than 1 and 3
  struct Case {
    std::int64_t arrivalOfTwo;
    bool twoPlays;
  };
  for (const Case c : {Case{40, true}, Case{120, false}}) {
    Call call;
    call.Arrive(0, Packet(1, 160, c1));
    call.Arrive(20, Packet(3, 480, c3));
    call.Arrive(c.arrivalOfTwo, Packet(2, 320, c2));
    call.RunUntil(200);
    const auto& s = call.Out();
    EXPECT_TRUE(AllEqual(s, kPreFill, 160, Mu(c1))) << c.arrivalOfTwo;
    EXPECT_EQ(std::count(s.begin(), s.end(), Mu(c2)), c.twoPlays ? 160 : 0) << c.arrivalOfTwo;
    if (c.twoPlays) {
      EXPECT_TRUE(AllEqual(s, kPreFill + 160, 160, Mu(c2)));
      EXPECT_TRUE(AllEqual(s, kPreFill + 320, 160, Mu(c3)));
    } else {
      // 160 samples of concealment (1 fading) stand in for 2; 3 follows, cross-faded.
      for (std::size_t i = kPreFill + 160; i < kPreFill + 320; ++i) {
        EXPECT_TRUE(s[i] != Mu(c1) && (s[i] > 0) == (Mu(c1) > 0) && std::abs(s[i]) < std::abs(Mu(c1))) << i;
      }
      EXPECT_TRUE(AllEqual(s, kPreFill + 320 + 40, 120, Mu(c3)));
      EXPECT_EQ(call.rx.Buffer().SlotsInUse(), 0);
    }
  }
}

TEST(RtpReceiveTest, UpTo256BehindIsFreedFurtherBehindCountsAsAhead) {
  struct Case {
    int behind;
    bool kept;
  };
  for (const Case c : {Case{300, true}, Case{257, true}, Case{256, false}, Case{100, false}, Case{1, false}}) {
    JitterBuffer jb(0);
    jb.Offer(Packet(1000, 0), kPeer, 0);
    ASSERT_TRUE(jb.Take());
    jb.Offer(Packet(static_cast<std::uint16_t>(1001 - c.behind), 0), kPeer, 0);
    EXPECT_EQ(jb.SlotsInUse(), c.kept ? 1 : 0) << c.behind;
    EXPECT_EQ(jb.HasNext(), c.kept) << c.behind;
    EXPECT_FALSE(jb.NextInOrder()) << c.behind;
  }
}

TEST(RtpReceiveTest, NewSsrcIsAdoptedWithinFiveSecondsAndFreesTheOldStream) {
  constexpr std::uint32_t kOther = 0x99;
  struct Case {
    std::uint32_t tick;
    bool adopted;
  };
  for (const Case c : {Case{3000, true}, Case{4999, true}, Case{5000, false}, Case{6000, false}}) {
    JitterBuffer jb(0);
    jb.Offer(Packet(10, 0), kPeer, 0);
    jb.Offer(Packet(12, 320), kPeer, 0);
    ASSERT_TRUE(jb.Take());
    const ReceiveResult r = jb.Offer(Packet(500, 0, 0x20, 0, kOther), kPeer, c.tick);
    EXPECT_EQ(r.outcome, c.adopted ? ReceiveOutcome::kAdopted : ReceiveOutcome::kForeignSsrc) << c.tick;
    EXPECT_EQ(jb.Ssrc(), c.adopted ? kOther : kSsrc) << c.tick;
    EXPECT_EQ(jb.SlotsInUse(), 1) << c.tick;  // the new packet, or the old stream's 12
    if (!c.adopted) {
      jb.RearmSsrcLearning(c.tick);
      EXPECT_EQ(jb.Offer(Packet(600, 0, 0x20, 0, kOther), kPeer, c.tick + 1).outcome, ReceiveOutcome::kAccepted);
      EXPECT_EQ(jb.Ssrc(), kOther);
      EXPECT_EQ(jb.SlotsInUse(), 1) << c.tick;
    }
    EXPECT_TRUE(jb.NextInOrder()) << c.tick;
  }
}

TEST(RtpReceiveTest, DatagramsThatAreNotFiled) {
  JitterBuffer jb(0);
  EXPECT_EQ(jb.Offer(std::vector<std::uint8_t>(kRtpMaxDatagram + 1, 0x80), kPeer, 0).outcome,
            ReceiveOutcome::kTooLong);
  EXPECT_EQ(jb.Offer(std::vector<std::uint8_t>(11, 0x80), kPeer, 0).outcome, ReceiveOutcome::kMalformed);
  EXPECT_EQ(jb.Offer(Packet(1, 0, 0x20, 0, kSsrc, 0), kPeer, 0).outcome, ReceiveOutcome::kAccepted);
  EXPECT_EQ(jb.Offer(Packet(2, 0, 0x20, 0, kSsrc, kRtpMaxDatagram - kRtpHeaderBytes), kPeer, 0).outcome,
            ReceiveOutcome::kAccepted);  // the largest datagram kept
  ASSERT_TRUE(jb.Take());
  ASSERT_TRUE(jb.Take());
  // With the expected packet missing, 64 later ones fill every slot.
  for (int i = 0; i < kJitterSlots; ++i) {
    jb.Offer(Packet(static_cast<std::uint16_t>(jb.ExpectedSequence() + 1 + i), 0), kPeer, 0);
  }
  EXPECT_EQ(jb.SlotsInUse(), kJitterSlots);
  EXPECT_TRUE(jb.ReceiveArea().empty());
  EXPECT_EQ(jb.Commit(172, kPeer, 0).outcome, ReceiveOutcome::kFull);
}

TEST(RtpReceiveTest, SequenceNumbersWrap) {
  JitterBuffer jb(0);
  jb.Offer(Packet(65533, 0), kPeer, 0);
  ASSERT_TRUE(jb.Take());
  for (std::uint16_t seq : {1, 0, 65535, 65534}) jb.Offer(Packet(seq, 0), kPeer, 0);
  std::vector<std::uint16_t> order;
  while (auto taken = jb.Take()) order.push_back(ParseRtpHeader(taken->datagram)->sequence);
  EXPECT_EQ(order, (std::vector<std::uint16_t>{65534, 65535, 0, 1}));
}

TEST(RtpReceiveTest, TimestampGapsAreSignedAndWrap) {
  // A second packet 40 ms after the first finds 105 ms queued: a gap of 160 before it is
  // filled with 80 samples of noise; no gap, or one backwards, adds nothing.
  struct Case {
    std::uint32_t first, second;
    std::uint64_t extraNoise;
  };
  for (const Case c : {Case{0xFFFFFF60u, 0, 0}, Case{0xFFFFFFF0u, 0x90, 0}, Case{0xFFFFFF60u, 160, 80},
                       Case{5000, 5320, 80}, Case{5000, 4840, 0}}) {
    Call call;
    call.Arrive(0, Packet(1, c.first));
    call.Arrive(40, Packet(2, c.second));
    EXPECT_EQ(call.Stats().noise, kPreFill + c.extraNoise) << c.first << " " << c.second;
    EXPECT_EQ(call.Stats().decoded, 320u);
  }
}

TEST(RtpReceiveTest, StarvationConcealsAfterSpeechAndPlaysNoiseAfterComfortNoise) {
  struct Case {
    PlayoutTypes types;
    std::optional<std::uint8_t> secondType;
    bool conceals;
  };
  const Case cases[] = {
      {{}, std::nullopt, true},
      {{}, kPayloadCn, false},
      {{98, kPayloadNone}, 98, false},
      {{}, 98, true},  // 98 not negotiated as CN: ignored
  };
  for (const Case& c : cases) {
    Call call(c.types);
    call.Arrive(0, Packet(1, 160));
    if (c.secondType) call.Arrive(20, Packet(2, 320, 0x3F, *c.secondType, kSsrc, 1));
    call.RunUntil(200);
    EXPECT_EQ(call.Stats().concealed > 0, c.conceals);
    EXPECT_EQ(call.Stats().noise > kPreFill, !c.conceals);
  }
}

TEST(RtpReceiveTest, ConcealmentRepeatsTheFullScalePitchPeriodAndFadesOut) {
  // A full-scale square wave of period 50: its pitch search sums reach beyond 32 bits.
  auto code = [](std::size_t i) -> std::uint8_t { return i % 50 < 25 ? 0x80 : 0x00; };
  Call call;
  for (std::uint16_t k = 0; k < 2; ++k) {
    std::vector<std::uint8_t> p = Packet(k + 1, 160u * k);
    for (std::size_t j = 0; j < 160; ++j) p[kRtpHeaderBytes + j] = code(160 * k + j);
    call.Arrive(0, p);
  }
  call.RunUntil(400);
  const auto& s = call.Out();
  const std::size_t start = kPreFill + 320;
  ASSERT_GE(call.Stats().concealed, static_cast<std::uint64_t>(kConcealmentSamples));
  for (std::size_t i = 0; i < 200; ++i) {
    const std::int32_t wave = Mu(code(320 + i));
    EXPECT_EQ(s[start + i] > 0, wave > 0) << i;
    EXPECT_LE(std::abs(s[start + i]), std::abs(wave)) << i;
  }
  EXPECT_EQ(s[start + kConcealmentSamples - 1], 0);
  EXPECT_TRUE(call.rx.Playout().InGap());  // faded out: what follows is noise
  EXPECT_GT(call.Stats().noise, kPreFill);
}

TEST(RtpReceiveTest, ResumedSpeechIsCrossFadedFromConcealment) {
  const std::uint8_t a = 0x80, b = 0x00;  // full scale, opposite signs
  // The same call twice: once speech resumes at 130 ms, once concealment simply goes on.
  Call resumed, concealing;
  for (Call* call : {&resumed, &concealing}) {
    call->Arrive(0, Packet(1, 160, a));
    call->RunUntil(130);
  }
  ASSERT_GT(resumed.Stats().concealed, 0u);
  const std::size_t at = resumed.Out().size();
  resumed.Arrive(130, Packet(2, 320, b));
  concealing.RunUntil(300);
  const auto& s = resumed.Out();
  const auto& c = concealing.Out();
  ASSERT_EQ(s.size(), at + 160);
  ASSERT_GE(c.size(), at + 40);
  for (std::size_t i = 0; i < 40; ++i) {
    const std::int64_t w = static_cast<std::int64_t>(i);
    EXPECT_EQ(s[at + i], (c[at + i] * (40 - w) + Mu(b) * w) / 40) << i;
  }
  EXPECT_TRUE(AllEqual(s, at + 40, 120, Mu(b)));
}

TEST(RtpReceiveTest, EventsVideoAndUnknownTypesLeavePlayoutAlone) {
  for (std::uint8_t pt : {101, 31, 127}) {
    Call call;
    call.Arrive(0, Packet(1, 16160));
    // An event's timestamp is that of its start, far behind the audio.
    call.Arrive(20, Packet(2, 160, 0x10, pt, kSsrc, 4));
    EXPECT_FALSE(call.rx.Playout().InGap()) << int(pt);
    call.Arrive(40, Packet(3, 16320));
    EXPECT_EQ(call.Stats().noise, kPreFill) << int(pt);
    EXPECT_EQ(call.Stats().decoded, 320u) << int(pt);
    EXPECT_EQ(call.Stats().concealed, 0u) << int(pt);
  }
}

TEST(RtpReceiveTest, ExtensionAndPaddingPlayOnlyThePayloadBetweenThem) {
  std::vector<std::uint8_t> p = Packet(1, 0, 0x20, 0, kSsrc, 0);
  p[0] = 0xB0;
  p.insert(p.end(), {0xBE, 0xDE, 0, 1, 0x77, 0x77, 0x77, 0x77});
  p.insert(p.end(), 160, 0x20);
  p.insert(p.end(), {0x77, 0x77, 0x77, 4});
  Call call;
  call.Arrive(0, p);
  EXPECT_EQ(call.Stats().decoded, 160u);
  EXPECT_TRUE(AllEqual(call.Out(), kPreFill, 160, Mu(0x20)));
}

TEST(RtpReceiveTest, OutputLevelStaysUnderTheCap) {
  struct Case {
    const char* name;
    std::int64_t stallMs;  // packets sent during a stall from 1 s on arrive together at its end
    std::int64_t intervalMs;
    std::int64_t durationMs;
    bool drops;
  };
  const Case cases[] = {
      {"steady", 0, 20, 20000, false},
      {"burst after a 2 s stall", 2000, 20, 20000, true},
      {"peer clock 5 % fast", 0, 19, 60000, true},
  };
  for (const Case& c : cases) {
    Call call;
    for (std::int64_t k = 0; k * c.intervalMs < c.durationMs; ++k) {
      const std::int64_t sent = k * c.intervalMs;
      const bool stalled = sent >= 1000 && sent < 1000 + c.stallMs;
      const auto packet = Packet(static_cast<std::uint16_t>(k), static_cast<std::uint32_t>(160 * k));
      call.Arrive(stalled ? 1000 + c.stallMs : sent, packet);
    }
    EXPECT_LE(call.maxLevel, kPlayoutCapMs) << c.name;
    EXPECT_EQ(call.Stats().dropped > 0, c.drops) << c.name;
    if (!c.drops) {
      EXPECT_LE(call.maxLevel, 150) << c.name;
    }
  }
}

TEST(RtpReceiveTest, WhatAFullRingRefusesIsNotCountedAsQueued) {
  ReceiveTaps taps;
  const AudioRingEnds ring = MakeAudioRing(800, 8000);
  auto recorder = std::make_shared<CollectingSink>();
  taps.SetSpeakerFeed(ring.writer);
  taps.SetReceivedTap(recorder);
  RtpReceiver rx(taps, {}, 1, 0, 0);
  rx.RunPlayout(0);
  rx.Buffer().Offer(Packet(1, 0), kPeer, 0);
  rx.RunPlayout(0);
  EXPECT_EQ(rx.Playout().LevelMs(0), 100);  // 800 of 1160 samples taken
  EXPECT_EQ(recorder->Got().size(), kPreFill + 160);
  std::vector<std::int32_t> read(1000, 7);
  EXPECT_EQ(ring.reader->Transfer(read), 800u);
  EXPECT_TRUE(std::equal(read.begin(), read.begin() + 800, recorder->Got().begin()));
  EXPECT_TRUE(AllEqual(read, 800, 200, 0));
  EXPECT_EQ(ring.reader->Position(), 800u);
  // Around the end of the storage, in order.
  std::vector<std::int32_t> ramp(1100);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int32_t>(i);
  std::vector<std::int32_t> first(ramp.begin(), ramp.begin() + 500), second(ramp.begin() + 500, ramp.end());
  EXPECT_EQ(ring.writer->Transfer(first), 500u);
  EXPECT_EQ(ring.reader->Transfer(std::span(read).first(300)), 300u);
  EXPECT_EQ(ring.writer->Transfer(second), 600u);
  EXPECT_EQ(ring.reader->Transfer(read), 800u);
  EXPECT_TRUE(std::equal(read.begin(), read.begin() + 800, ramp.begin() + 300));
}

TEST(RtpReceiveTest, OnlyAPlayedPacketNamesTheRemoteAddress) {
  std::vector<std::uint8_t> notRtp = Packet(2, 320);
  notRtp[0] = 0x40;
  const std::vector<std::vector<std::uint8_t>> strays = {
      Packet(2, 320, 0x20, 0, 0x5555),        // another stream after the learning window
      Packet(0, 0),                            // behind the stream
      notRtp,                                  // not RTP
      std::vector<std::uint8_t>(5000, 0x80),   // too long
  };
  for (const auto& stray : strays) {
    Call call;
    call.Arrive(0, Packet(1, 160));
    EXPECT_EQ(call.last.playedSource, kPeer);
    call.Arrive(6000, stray, kStray);
    EXPECT_FALSE(call.last.playedSource.has_value());
    call.Arrive(6020, Packet(2, 320));
    EXPECT_EQ(call.last.playedSource, kPeer);
  }
}

TEST(RtpReceiveTest, KeepAliveAndStartupDrainDecisions) {
  EXPECT_FALSE(KeepAliveDue(55000, 0));
  EXPECT_TRUE(KeepAliveDue(55001, 0));
  EXPECT_TRUE(KeepAliveDue(100000, 44999));
  EXPECT_TRUE(StartupDrainContinues(63, true));
  EXPECT_FALSE(StartupDrainContinues(64, true));
  EXPECT_FALSE(StartupDrainContinues(0, false));
}

TEST(RtpReceiveTest, TapsAreSwappedWhileWrittenAndLetGoAfterwards) {
  // Each sink adds up the sample values it is given, then scribbles on them as sinks may.
  class Summing final : public AudioSink {
   public:
    explicit Summing(std::atomic<std::int64_t>& total) : AudioSink(8000, 1), total_(total) {}
    std::size_t Transfer(std::span<std::int32_t> s) override {
      for (std::int32_t& v : s) total_ += std::exchange(v, -9);
      return s.size();
    }

   private:
    std::atomic<std::int64_t>& total_;
  };
  ReceiveTaps taps;
  std::atomic<std::int64_t> fed{0}, recorded{0};
  taps.SetSpeakerFeed(std::make_shared<Summing>(fed));
  taps.SetReceivedTap(std::make_shared<Summing>(recorded));
  constexpr int kBlocks = 20000;
  std::thread writer([&] {
    std::vector<std::int32_t> block(160);
    for (int i = 0; i < kBlocks; ++i) {
      std::fill(block.begin(), block.end(), 1);
      taps.Transfer(block);
    }
  });
  for (int i = 0; i < 2000; ++i) {
    std::weak_ptr<AudioSink> old = taps.SpeakerFeed();
    taps.SetSpeakerFeed(std::make_shared<Summing>(fed));
    taps.SetReceivedTap(std::make_shared<Summing>(recorded));
    EXPECT_TRUE(old.expired());
  }
  writer.join();
  EXPECT_EQ(fed.load(), std::int64_t{kBlocks} * 160);
  EXPECT_EQ(recorded.load(), std::int64_t{kBlocks} * 160);
}

}  // namespace
}  // namespace corvina::media
