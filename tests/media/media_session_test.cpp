// The session shell over real loopback sockets: a peer socket plays the other phone.
#include "media/media_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "media/rtp_packet.h"
#include "media/voice_codec.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"
#include "platform/udp_socket.h"
#include "tests/media/support/test_doubles.h"
#include "tests/support/other_thread_probe.h"

namespace corvina::media {
namespace {

using testing::Eventually;
using testing::RecordingLog;

constexpr std::uint32_t kLoopback = 0x7F000001;

class LoopbackOpener final : public RtpSocketOpener {
 public:
  std::optional<OpenedRtpSocket> Open(platform::Event&) override {
    if (during) during();
    OpenedRtpSocket opened;
    opened.socket = std::make_unique<platform::UdpSocket>();
    const platform::BindResult bound = opened.socket->Bind({kLoopback, 0});
    if (!bound.Ok()) return std::nullopt;
    opened.addresses = {"127.0.0.1", bound.local.port, "127.0.0.1", bound.local.port, false};
    ++opens;
    return opened;
  }
  int opens = 0;
  std::function<void()> during;  // runs inside each query
};

class MapResolver final : public platform::NameResolver {
 public:
  std::function<void()> during;  // runs inside each lookup
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override {
    if (during) during();
    if (host == "peer.test") return kLoopback;
    return std::nullopt;
  }
};

struct Peer {
  platform::UdpSocket socket;
  std::uint16_t port = 0;
  Peer() { port = socket.Bind({kLoopback, 0}).local.port; }

  std::optional<std::vector<std::uint8_t>> Receive() {
    std::vector<std::uint8_t> buffer(2048);
    const platform::ReceiveResult r = socket.ReceiveFrom(buffer, 5000);
    if (r.status != platform::ReceiveStatus::kDatagram) return std::nullopt;
    buffer.resize(r.size);
    return buffer;
  }
  // A PCMU packet of a loud 1 kHz tone.
  void SendTone(std::uint16_t to, std::uint16_t sequence, std::uint32_t ssrc = 0xABCD) {
    std::array<std::int32_t, kFrameSamples> frame{};
    for (std::size_t i = 0; i < frame.size(); ++i) {
      frame[i] = static_cast<std::int32_t>(300000 * std::sin(2 * M_PI * 1000 * static_cast<double>(i) / 8000));
    }
    std::vector<std::uint8_t> packet(kRtpHeaderBytes + kFrameSamples);
    WriteRtpHeader({false, kPayloadPcmu, sequence, sequence * 160u, ssrc}, packet);
    FrameEncoder(CodecId::kPcmu).Encode(frame, std::span(packet).subspan(kRtpHeaderBytes));
    socket.SendTo({kLoopback, to}, packet);
  }
};

class SessionFixture : public ::testing::Test {
 protected:
  platform::SystemMediaClock systemClock;
  platform::FakeMediaClock fakeClock{1234567};
  platform::FakeTickClock tick{100};
  platform::MemorySettingsStore store;
  platform::Settings settings{store};
  MapResolver resolver;
  LoopbackOpener opener;
  RecordingLog trace;
  platform::Event stop;

  std::unique_ptr<MediaSession> Make(const platform::MediaClock& clock) {
    MediaSessionServices services{clock, tick, settings, resolver, opener,
                                  [this](std::string_view line) { trace.Log(line, 0); },
                                  {}, {}};
    return std::make_unique<MediaSession>(std::move(services));
  }

  static MediaRemoteDescription Remote(std::string host, std::uint16_t port, bool learn = false) {
    MediaRemoteDescription remote;
    remote.host = std::move(host);
    remote.port = port;
    remote.types.telephoneEvent = kPayloadTelephoneEvent;
    remote.learnRemoteAddress = learn;
    return remote;
  }

  static void WriteLoudFrame(AudioSink& sender) {
    std::vector<std::int32_t> frame(kFrameSamples, 200000);
    sender.Transfer(frame);
  }
};

TEST_F(SessionFixture, VoiceAndDigitsReachThePeerAndWhatThePeerSendsIsPlayed) {
  Peer peer;
  auto session = Make(systemClock);
  ASSERT_TRUE(session->Open(stop));
  const std::uint16_t ours = session->Addresses().localPort;
  session->SetRemote(Remote("127.0.0.1", peer.port));
  ASSERT_TRUE(session->Start());
  AudioSinkPtr reader = session->ReceivedAudioReader();

  auto sender = session->CreateSender(false);
  WriteLoudFrame(*sender);
  WriteLoudFrame(*sender);
  const auto first = peer.Receive();
  const auto second = peer.Receive();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->size(), 172u);
  EXPECT_EQ(first->at(0), 0x80);
  EXPECT_EQ(static_cast<std::uint16_t>(ParseRtpHeader(*second)->sequence - ParseRtpHeader(*first)->sequence), 1);
  EXPECT_EQ(ParseRtpHeader(*second)->timestamp - ParseRtpHeader(*first)->timestamp, 160u);

  ASSERT_EQ(session->SendDigits("5"), 1u);
  const auto event = peer.Receive();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->size(), 16u);
  EXPECT_EQ(ParseRtpHeader(*event)->payloadType, kPayloadTelephoneEvent);

  // The peer's tone comes out of the reader, far above comfort-noise level.
  std::int32_t loudest = 0;
  std::uint16_t sequence = 1;
  ASSERT_TRUE(Eventually([&] {
    peer.SendTone(ours, sequence++);
    std::vector<std::int32_t> block(160);
    reader->Transfer(block);
    for (std::int32_t s : block) loudest = std::max(loudest, std::abs(s));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return loudest > 200000;
  }));
  session->Stop();
}

TEST_F(SessionFixture, HostNamesAreLookedUpAndAnUnresolvedRemoteSendsNothing) {
  auto session = Make(systemClock);
  ASSERT_TRUE(session->Open(stop));
  const std::array<std::uint8_t, 12> packet{0x80};
  session->SetRemote(Remote("peer.test", 9000));
  EXPECT_EQ(session->SendState().Remote().destination, (platform::SocketAddress{kLoopback, 9000}));
  EXPECT_TRUE(session->Send(packet));
  session->SetRemote(Remote("nowhere.test", 9000));
  EXPECT_FALSE(session->SendState().Remote().destination.Resolved());
  EXPECT_FALSE(session->Send(packet));
}

TEST_F(SessionFixture, TheAddressQueryAndHostLookupsLeaveTheSessionFreeAndAStopMeanwhileWins) {
  auto session = Make(systemClock);
  corvina::testing::OtherThreadProbe probe;
  bool stopped = false, read = false;
  opener.during = [&] { stopped = probe.Finishes([&] { session->Stop(); }); };
  EXPECT_FALSE(session->Open(stop));  // the socket found after the stop is not kept
  EXPECT_TRUE(stopped);
  opener.during = {};
  ASSERT_TRUE(session->Open(stop));
  resolver.during = [&] { read = probe.Finishes([&] { session->Addresses(); }); };
  session->SetRemote(Remote("peer.test", 9000));
  EXPECT_TRUE(read);
}

TEST_F(SessionFixture, OnlyPlayedPacketsNameTheRemoteAndRenegotiationLearnsANewStream) {
  Peer first;
  Peer second;
  platform::UdpSocket stray;
  stray.Bind({kLoopback, 0});
  settings.SetSettingInt("Settings", "SipTraceAudioOn", 1);
  auto session = Make(systemClock);
  ASSERT_TRUE(session->Open(stop));
  const std::uint16_t ours = session->Addresses().localPort;
  session->SetRemote(Remote("127.0.0.1", 9, true));
  ASSERT_TRUE(session->Start());
  const auto destination = [&] { return session->SendState().Remote().destination.port; };

  std::uint16_t sequence = 10;
  ASSERT_TRUE(Eventually([&] {
    first.SendTone(ours, sequence++, 0x1111);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return destination() == first.port;
  }));
  // A stray short datagram, then another stream after the learning window: neither is played.
  stray.SendTo({kLoopback, ours}, std::string_view("junk"));
  tick.Advance(6000);
  for (int i = 0; i < 5; ++i) second.SendTone(ours, static_cast<std::uint16_t>(500 + i), 0x2222);
  const std::uint16_t last = sequence;
  first.SendTone(ours, last, 0x1111);
  const std::string lastSeen = "seq=" + std::to_string(last).insert(0, 5 - std::to_string(last).size(), ' ');
  ASSERT_TRUE(Eventually([&] {
    for (const std::string& line : trace.Lines()) {
      if (line.find("<<<") != std::string::npos && line.find(lastSeen) != std::string::npos) return true;
    }
    return false;
  }));
  EXPECT_EQ(destination(), first.port);

  // Renegotiation re-arms learning: the second stream is adopted and followed.
  session->SetRemote(Remote("127.0.0.1", first.port, true));
  std::uint16_t other = 600;
  EXPECT_TRUE(Eventually([&] {
    second.SendTone(ours, other++, 0x2222);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return destination() == second.port;
  }));
}

TEST_F(SessionFixture, TraceLinesAreWrittenForEachPacketSentAndReceivedOnlyWhileTracingIsOn) {
  Peer peer;
  auto session = Make(fakeClock);
  ASSERT_TRUE(session->Open(stop));
  const std::uint16_t ours = session->Addresses().localPort;
  session->SetRemote(Remote("127.0.0.1", peer.port));
  const std::array<std::uint8_t, 12> packet{0x80, 0x80 | 8, 0x01, 0x02, 0, 0, 0, 7, 0, 0, 0, 9};
  ASSERT_TRUE(session->Send(packet));
  EXPECT_TRUE(trace.Lines().empty());

  settings.SetSettingInt("Settings", "SipTraceAudioOn", 1);
  ASSERT_TRUE(session->Start());
  ASSERT_TRUE(session->Send(packet));
  // Sent until one arrives after the receive thread's start-up drain.
  ASSERT_TRUE(Eventually([&] {
    peer.SendTone(ours, 77, 0x01020304);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return trace.Lines().size() >= 2;
  }));
  const std::string peerText = "127.0.0.1:" + std::to_string(peer.port);
  EXPECT_EQ(trace.Lines().at(0),
            "4567ms Rtp >>> " + peerText + " Mark 8 seq=  258 ts=         7 ssrc=         9     0 bytes\r\n");
  EXPECT_EQ(trace.Lines().at(1),
            "4567ms Rtp <<< " + peerText + "      0 seq=   77 ts=     12320 ssrc=  16909060   160 bytes \r\n");
}

TEST_F(SessionFixture, KeepAliveGoesOutAfter55SecondsWithoutSending) {
  Peer peer;
  auto session = Make(fakeClock);
  ASSERT_TRUE(session->Open(stop));
  MediaRemoteDescription remote = Remote("127.0.0.1", peer.port);
  remote.types.comfortNoise = kPayloadCn;
  session->SetRemote(remote);
  ASSERT_TRUE(session->Start());
  fakeClock.Advance(55001);
  const auto keepAlive = peer.Receive();
  ASSERT_TRUE(keepAlive);
  EXPECT_EQ(keepAlive->size(), 13u);
  EXPECT_EQ(ParseRtpHeader(*keepAlive)->payloadType, kPayloadCn);
  EXPECT_EQ(keepAlive->at(12), 0x3F);
}

TEST_F(SessionFixture, StopEndsADigitRunClosesTheSocketAndTheNextCallContinuesTheNumbering) {
  Peer peer;
  auto session = Make(systemClock);
  ASSERT_TRUE(session->Open(stop));
  session->SetRemote(Remote("127.0.0.1", peer.port));
  ASSERT_TRUE(session->Start());
  auto sender = session->CreateSender(false);
  WriteLoudFrame(*sender);
  const auto before = peer.Receive();
  ASSERT_TRUE(before);
  session->SendDigits("0123456789");
  ASSERT_TRUE(peer.Receive());  // the first digit is on its way
  session->Stop();
  EXPECT_FALSE(session->Started());
  EXPECT_FALSE(session->DtmfSending());
  const std::array<std::uint8_t, 12> packet{0x80};
  EXPECT_FALSE(session->Send(packet));

  // The next call: a new socket, and sequence numbers going on from the last one used.
  ASSERT_TRUE(session->Open(stop));
  EXPECT_EQ(opener.opens, 2);
  session->SetRemote(Remote("127.0.0.1", peer.port));
  ASSERT_TRUE(session->Start());
  const std::uint16_t next = session->SendState().Lock().TakeSequence();
  EXPECT_GT(static_cast<std::uint16_t>(next - ParseRtpHeader(*before)->sequence), 1);
  EXPECT_LT(static_cast<std::uint16_t>(next - ParseRtpHeader(*before)->sequence), 20);
  session->Open(stop);  // opening again stops what runs first
  EXPECT_FALSE(session->Started());
}

}  // namespace
}  // namespace corvina::media
