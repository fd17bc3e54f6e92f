// Two of our own media sessions in one process, WAV file to WAV file, joined through our
// impairing relay on loopback:
// - G726-32 (which baresip packs the other way round): 80-byte payloads, the tone heard in at
//   least 95 % of the 20 ms windows;
// - a minute through 5 % loss, 30 +- 20 ms delay (so datagrams overtake each other) and
//   duplicates: the call goes on, the tone is heard in at least 90 % of the windows, and the
//   tone's end is heard within a bounded delay; the other side, which has no audio source,
//   sends one keep-alive after 55 s of silence on the wire.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "media/capture_thread.h"
#include "media/media_session.h"
#include "media/playback_thread.h"
#include "media/wav_audio_device.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"
#include "tests/interop/impairing_relay.h"
#include "tests/interop/media_interop_support.h"

namespace corvina::interop {
namespace {

using Clock = std::chrono::steady_clock;

class LoopbackRtpOpener final : public media::RtpSocketOpener {
 public:
  std::optional<media::OpenedRtpSocket> Open(platform::Event&) override {
    media::OpenedRtpSocket opened;
    opened.socket = std::make_unique<platform::UdpSocket>();
    opened.socket->SetTypeOfService(platform::kVoiceTypeOfService, platform::kVoiceSocketPriority);
    const platform::BindResult bound = opened.socket->Bind({sip::interop::kLoopback, 0});
    if (!bound.Ok()) return std::nullopt;
    opened.addresses = {"127.0.0.1", bound.local.port, "127.0.0.1", bound.local.port, false};
    return opened;
  }
};

// One end of the call: a session fed from a WAV file and playing into another.
class Leg {
 public:
  Leg() : session_({clock_, tick_, settings_, resolver_, opener_, {}, {}, {}}) { session_.Open(stop_); }
  ~Leg() { Hang(); }

  std::uint16_t Port() { return session_.Addresses().localPort; }

  void Start(std::uint16_t remotePort, std::uint8_t audioType, const std::string& play, const std::string& record) {
    media::MediaRemoteDescription remote;
    remote.host = "127.0.0.1";
    remote.port = remotePort;
    remote.types.audio = audioType;
    remote.types.g726 = media::kPayloadG726Offered;
    session_.SetRemote(remote);
    session_.Start();
    auto output = media::OpenWavOutput(record, {8000, 1});
    playback_ = std::make_unique<media::PlaybackThread>(std::move(output.stream), "wav:" + record, log_, clock_, 0);
    playback_->SetSource(session_.ReceivedAudioReader());
    playback_->Start();
    playbackStart = Clock::now();
    if (play.empty()) return;  // no source: only keep-alives leave
    auto input = media::OpenWavInput(play, {8000, 1});
    sender_ = session_.CreateSender(true);
    capture_ = std::make_unique<media::CaptureThread>(std::move(input.stream), "wav:" + play, log_, 0);
    capture_->SetChainHead(sender_);
    capture_->Start();
    captureStart = Clock::now();
  }

  void Hang() {
    if (capture_) capture_->StopAndJoin();
    capture_.reset();
    sender_.reset();
    if (playback_) playback_->StopAndJoin();
    playback_.reset();
    session_.Stop();
  }

  Clock::time_point playbackStart;
  Clock::time_point captureStart;

 private:
  platform::SystemMediaClock clock_;
  platform::SystemTickClock tick_;
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  sip::interop::DottedResolver resolver_;
  LoopbackRtpOpener opener_;
  sip::interop::CollectingLog log_;
  platform::Event stop_;
  media::MediaSession session_;
  std::shared_ptr<media::RtpSender> sender_;
  std::unique_ptr<media::CaptureThread> capture_;
  std::unique_ptr<media::PlaybackThread> playback_;
};

void Talk(double seconds) {
  const auto end = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while (Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(OwnSessions, G726ThirtyTwoBothWays) {
  testing::TempFolder folder("g726");
  ASSERT_TRUE(WriteTone(folder.Sub("a.wav"), 600, 3));
  ASSERT_TRUE(WriteTone(folder.Sub("b.wav"), 1000, 3));
  Leg a;
  Leg b;
  ImpairingRelay relay({0x7F000001, a.Port()}, {0x7F000001, b.Port()}, {});
  a.Start(relay.PortForA(), media::kPayloadG726Offered, folder.Sub("a.wav"), folder.Sub("a-heard.wav"));
  b.Start(relay.PortForB(), media::kPayloadG726Offered, folder.Sub("b.wav"), folder.Sub("b-heard.wav"));
  Talk(3);
  a.Hang();
  b.Hang();
  const std::vector<std::size_t> sizes = relay.SizesFromA();
  ASSERT_GT(sizes.size(), 100u);
  // Every frame 80 bytes; the last packet is the closing silence step (a header alone without CN).
  EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 12u + 80u), static_cast<long>(sizes.size()) - 1);
  EXPECT_EQ(sizes.back(), 12u);
  for (const auto& [file, hz] : {std::pair{"a-heard.wav", 1000.0}, std::pair{"b-heard.wav", 600.0}}) {
    EXPECT_TRUE(HoldsTone(ReadWav(folder.Sub(file)), hz)) << file;
  }
}

TEST(OwnSessions, AMinuteOfLossDelayReorderingAndDuplicates) {
  testing::TempFolder folder("impaired");
  constexpr double kToneSeconds = 57;
  ASSERT_TRUE(WriteSegments(folder.Sub("a.wav"), {{600, kToneSeconds}, {0, 3}}));
  Leg a;
  Leg b;
  ImpairingRelay relay({0x7F000001, a.Port()}, {0x7F000001, b.Port()},
                       {.loss = 0.05, .delayMs = 30, .jitterMs = 20, .duplicate = 0.02, .seed = 20261207});
  b.Start(relay.PortForB(), media::kPayloadPcmu, "", folder.Sub("b-heard.wav"));
  a.Start(relay.PortForA(), media::kPayloadPcmu, folder.Sub("a.wav"), folder.Sub("a-heard.wav"));
  Talk(kToneSeconds + 2);
  a.Hang();
  b.Hang();
  EXPECT_GT(relay.Dropped(), 100u);
  const auto fromB = relay.FromB();
  ASSERT_EQ(fromB.size(), 1u) << "one keep-alive from the side without a source";
  EXPECT_EQ(fromB[0].first, 12u);
  // B's last-send time starts when its socket opens, just before the relay starts.
  EXPECT_GT(fromB[0].second, 54.5);
  EXPECT_LT(fromB[0].second, 56.5);

  const std::vector<std::int32_t> heard = ReadWav(folder.Sub("b-heard.wav"));
  // Where the tone ends in what B heard, against when A's file reached its end.
  std::size_t lastLoud = 0;
  for (std::size_t at = 0; at + 160 <= heard.size(); at += 160) {
    double energy = 0;
    for (std::size_t i = 0; i < 160; ++i) energy += static_cast<double>(heard[at + i]) * heard[at + i];
    if (std::sqrt(energy / 160) > 16 * 1000) lastLoud = at + 160;
  }
  const double heardEnd = std::chrono::duration<double>(b.playbackStart - a.captureStart).count() + lastLoud / 8000.0;
  EXPECT_GT(heardEnd - kToneSeconds, 0.0);
  EXPECT_LT(heardEnd - kToneSeconds, 0.5) << "delay at the end of the tone";
  ::testing::Test::RecordProperty("end_delay_ms", static_cast<int>((heardEnd - kToneSeconds) * 1000));

  std::vector<std::int32_t> tonePart(heard.begin(), heard.begin() + std::min<std::size_t>(heard.size(), lastLoud));
  const ToneWindows windows = MeasureTone(tonePart, 600);
  ::testing::Test::RecordProperty("tone_windows_percent", windows.loud > 0 ? 100 * windows.right / windows.loud : 0);
  EXPECT_GT(windows.loud, 2500);
  EXPECT_GE(windows.right, windows.loud * 90 / 100) << windows.right << " of " << windows.loud;
  EXPECT_NEAR(windows.hz, 600, 600 * 0.02);
}

}  // namespace
}  // namespace corvina::interop
