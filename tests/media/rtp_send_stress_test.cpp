// Every sender of a session at once: the capture thread's voice sender, the digit thread, the
// keep-alive, a recorder tap being swapped and the payload type being renegotiated. Proves
// that the sequence numbers on the wire go up by exactly one, except for the repeats of an RFC
// 2833 event, that the six packets of a digit are never split by another packet, and that
// every voice packet's payload fits its payload type. Run under ThreadSanitizer and
// AddressSanitizer as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "media/audio_sink.h"
#include "media/dtmf_sender.h"
#include "media/rtp_sender.h"
#include "platform/clock.h"
#include "tests/media/support/rtp_capture.h"

namespace corvina::media {
namespace {

using testing::MakeSendState;
using testing::PacketLog;
using testing::SentPacket;

constexpr std::uint8_t kEvent = 101;
constexpr std::uint8_t kCn = 13;

class ImmediateWaits final : public DtmfWaits {
 public:
  bool Pause(int, platform::Event& stop) override {
    std::this_thread::yield();
    return !stop.IsSet();
  }
};

TEST(RtpSendStressTest, CaptureDigitsAndKeepAliveAtOnceKeepTheNumberingWhole) {
  platform::FakeMediaClock clock(0);
  auto log = std::make_shared<PacketLog>();
  auto state = MakeSendState(clock, log, {0, kCn, kEvent, kPayloadNone});
  ImmediateWaits waits;
  std::atomic<int> queuesSent{0};
  DtmfSender digits(state, [&] { ++queuesSent; }, &waits);
  ASSERT_TRUE(digits.Start(kEvent));
  std::atomic<bool> done{false};
  std::atomic<bool> digitsDone{false};

  // Talks all through the digits and for 500 blocks after them.
  std::thread capture([&] {
    RtpSender sender(state, [](int) { std::this_thread::yield(); });
    std::vector<std::int32_t> block;
    int after = 500;
    for (int i = 0; !digitsDone || after-- > 0; ++i) {
      const bool loud = (i / 7) % 2 == 0;
      block.assign(37 + (i * 53) % 200, 0);
      for (std::size_t k = 0; k < block.size(); ++k) block[k] = loud ? ((k % 2) ? 90000 : -90000) : 0;
      sender.Transfer(block);
    }
  });
  std::thread keepAlive([&] {
    while (!done) {
      clock.Advance(1);
      state->SendKeepAliveIfIdle(0);
    }
  });
  std::thread renegotiate([&] {
    for (int i = 0; !done; ++i) {
      RtpRemote remote = state->Remote();
      remote.types.audio = (i % 2) ? kPayloadPcma : kPayloadPcmu;
      state->SetRemote(remote);
      state->SentAudioTap().Set(std::make_shared<NullSink>());
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 20; ++i) {
    digits.SendDigits("19*#");
    std::this_thread::yield();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto eventPackets = [&] {
    std::lock_guard lock(log->mutex);
    return std::count_if(log->packets.begin(), log->packets.end(),
                         [](const SentPacket& p) { return p.PayloadType() == kEvent; });
  };
  while (eventPackets() < 80 * 6 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  digitsDone = true;
  capture.join();
  done = true;
  keepAlive.join();
  renegotiate.join();
  digits.Stop();

  const std::vector<SentPacket> packets = log->Snapshot();
  std::size_t events = 0;
  std::size_t voice = 0;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    const SentPacket& p = packets[i];
    if (i > 0) {
      const SentPacket& prev = packets[i - 1];
      const bool repeat = p.PayloadType() == kEvent && prev.PayloadType() == kEvent && p.Sequence() == prev.Sequence();
      ASSERT_TRUE(repeat || p.Sequence() == static_cast<std::uint16_t>(prev.Sequence() + 1)) << "packet " << i;
    }
    if (p.PayloadType() == kPayloadPcmu || p.PayloadType() == kPayloadPcma) {
      ASSERT_TRUE(p.PayloadBytes() == 160 || p.PayloadBytes() == 0) << "packet " << i;
      ++voice;
    }
    if (p.PayloadType() == kEvent && p.Marker()) {
      ++events;
      ASSERT_LE(i + 6, packets.size());
      for (std::size_t k = 1; k < 6; ++k) {
        ASSERT_EQ(packets[i + k].PayloadType(), kEvent) << "digit at packet " << i << " split at " << k;
        ASSERT_EQ(packets[i + k].bytes[12], p.bytes[12]);
        ASSERT_EQ(packets[i + k].Timestamp(), p.Timestamp());
      }
    }
  }
  EXPECT_EQ(events, 80u);
  EXPECT_GT(voice, 0u);
}

}  // namespace
}  // namespace corvina::media
