// Proves: the RTP socket takes an even port from RTPPortBase (8000 when out of range), walks
// past ports in use, asks for the public address with port step 16, and keeps moving up by 2
// while STUN maps it to odd public ports: the NAT lines once at the 20th try, no socket after
// more than 100; with STUN off an odd port is kept with its two lines. The socket carries the
// voice type-of-service and socket priority. The media session's opener hands on the socket
// and its addresses, and the negotiated SDP state becomes the session's remote description.
// A line's media cancelled during (or before) its STUN query ends the query at once, and a new
// call opens in full again. Ports come from binding port 0, never from fixed numbers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "call/nat_rtp_socket_opener.h"
#include "call/nat_traversal.h"
#include "call/rtp_socket.h"
#include "call/session_line_media.h"
#include "platform/local_address.h"
#include "nat_fakes.h"

namespace corvina::call {
namespace {

// An even port P, found by binding port 0, such that the `count` even ports from P on could all
// be bound a moment ago; 0 when none was found.
std::uint16_t FreeEvenPorts(int count) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    platform::UdpSocket probe;
    const int base = probe.Bind({0, 0}).Ok() ? probe.Local()->port & ~1 : 65534;
    probe.Close();
    bool free = base + 2 * count <= 65533;
    for (int i = 0; i < count && free; ++i) free = platform::UdpSocket().Bind({0, std::uint16_t(base + 2 * i)}).Ok();
    if (free) return static_cast<std::uint16_t>(base);
  }
  return 0;
}

class OddMappingNat final : public sip::PublicAddressSource {
 public:
  int evenAfter = 1 << 30;  // the query number from which the mapping is even
  std::vector<sip::PublicAddressRequest> asked;

  std::string LocalAddress() override { return "192.168.1.23"; }
  sip::PublicAddressResult PublicAddress(platform::UdpSocket& socket, platform::Event&,
                                         const sip::PublicAddressRequest& request,
                                         const sip::OtherTrafficSink&) override {
    EXPECT_EQ(socket.Local()->port, request.localPort);
    asked.push_back(request);
    const bool even = static_cast<int>(asked.size()) > evenAfter;
    return {"81.2.3.4", static_cast<std::uint16_t>(30001 + 2 * asked.size() + (even ? 1 : 0)), true, false};
  }
  std::string_view StunServerSettingName() const override { return "STUNServer1"; }
};

class RtpSocketOpening : public ::testing::Test {
 protected:
  std::optional<RtpSocket> Open() { return OpenRtpSocket(nat, f.settings, log, stop, {}); }

  testing::SettingsFixture f;
  testing::RecordingLog log;
  OddMappingNat nat;
  platform::Event stop{platform::Event::Mode::kManualReset};
};

TEST_F(RtpSocketOpening, PortBaseIsEvenAndKeptInRange) {
  for (auto [stored, expected] : std::vector<std::pair<const char*, int>>{
           {"", 8000}, {"9001", 9000}, {"1", 8000}, {"65535", 8000}, {"65534", 65534}, {"2", 2}}) {
    f.Set("RTPPortBase", stored);
    EXPECT_EQ(RtpPortBase(f.settings), expected) << stored;
  }
}

TEST_F(RtpSocketOpening, OddPublicPortsMoveTheSocketUpUntilEven) {
  const std::uint16_t base = FreeEvenPorts(27);
  ASSERT_NE(base, 0);
  f.Set("RTPPortBase", std::to_string(base + 1));
  // The base is taken by someone else: the walk starts above it.
  platform::UdpSocket busy;
  ASSERT_TRUE(busy.Bind({0, base}).Ok());
  nat.evenAfter = 25;
  auto rtp = Open();
  ASSERT_TRUE(rtp);
  ASSERT_EQ(nat.asked.size(), 26u);
  for (std::size_t i = 0; i < nat.asked.size(); ++i) {
    EXPECT_EQ(nat.asked[i].localPort, base + 2 + 2 * i);
    EXPECT_EQ(nat.asked[i].portStep, 16);
    EXPECT_EQ(nat.asked[i].portBase, base + 1);
  }
  EXPECT_EQ(rtp->localPort, base + 52);
  EXPECT_EQ(rtp->publicPort % 2, 0);
  EXPECT_EQ(rtp->socket->Local()->port, base + 52);
  const std::vector<std::string> expected = {"Something is wrong with the NAT device",
                                             "It always assigns'odd' ports which are forbidden for Rtp",
                                             "Check your NAT or turn off STUN."};
  EXPECT_EQ(log.Texts(), expected);
}

TEST_F(RtpSocketOpening, GivesUpAfterMoreThanHundredOddPorts) {
  f.Set("RTPPortBase", std::to_string(FreeEvenPorts(101)));
  EXPECT_FALSE(Open());
  EXPECT_EQ(nat.asked.size(), 101u);
  EXPECT_EQ(log.entries.size(), 3u);
}

TEST_F(RtpSocketOpening, OddPortIsKeptWhenStunIsOff) {
  f.Set("RTPPortBase", std::to_string(FreeEvenPorts(1)));
  f.Set("STUN", "0");
  auto rtp = Open();
  ASSERT_TRUE(rtp);
  EXPECT_EQ(nat.asked.size(), 1u);
  EXPECT_EQ(rtp->publicPort % 2, 1);
  int tos = 0;
  socklen_t length = sizeof tos;
  ASSERT_EQ(getsockopt(rtp->socket->Fd(), IPPROTO_IP, IP_TOS, &tos, &length), 0);
  EXPECT_EQ(tos, 0xB8);
  int priority = 0;
  ASSERT_EQ(getsockopt(rtp->socket->Fd(), SOL_SOCKET, SO_PRIORITY, &priority, &length), 0);
  EXPECT_EQ(priority, 6);
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{"Public RTP port is not an even number (it should be).",
                                                   "Check your Network Settings."}));
}

TEST_F(RtpSocketOpening, TheSessionOpenerHandsOnSocketAndAddressesAndTheSdpStateBecomesTheRemote) {
  f.Set("RTPPortBase", std::to_string(FreeEvenPorts(1)));
  nat.evenAfter = 0;
  NatRtpSocketOpener opener(nat, f.settings, log);
  std::optional<media::OpenedRtpSocket> opened = opener.Open(stop);
  ASSERT_TRUE(opened && opened->socket);
  EXPECT_EQ(opened->socket->Local()->port, opened->addresses.localPort);
  EXPECT_EQ(opened->addresses.localPort % 2, 0);
  EXPECT_EQ(opened->addresses.localAddress, "192.168.1.23");
  EXPECT_EQ(opened->addresses.publicAddress, "81.2.3.4");
  EXPECT_EQ(opened->addresses.publicPort, 30004);
  EXPECT_TRUE(opened->addresses.behindNat);

  SdpState state;
  state.remoteAddress = "10.0.0.7";
  state.remotePort = 5004;
  state.learnRemoteAddress = true;
  state.sendSuppressed = true;
  state.audioPayloadType = 3;
  state.cnPayloadType = 13;
  state.telephoneEventPayloadType = 101;
  state.g726PayloadType = 98;
  const media::MediaRemoteDescription remote = MediaRemoteFromSdp(state);
  EXPECT_EQ(remote.host, "10.0.0.7");
  EXPECT_EQ(remote.port, 5004);
  EXPECT_TRUE(remote.learnRemoteAddress);
  EXPECT_TRUE(remote.sendSuppressed);
  EXPECT_EQ(remote.types.audio, 3);
  EXPECT_EQ(remote.types.comfortNoise, 13);
  EXPECT_EQ(remote.types.telephoneEvent, 101);
  EXPECT_EQ(remote.types.g726, 98);
}

TEST(LineMediaCancel, AHangUpEndsTheStunQueryAtOnceAndANewCallOpensInFull) {
  // A STUN server on loopback that never answers but keeps sending other traffic, on a clock
  // that never moves: the query's wait never runs out, so only the cancel can end it.
  platform::UdpSocket stun;
  ASSERT_TRUE(stun.Bind({0x7F000001, 0}).Ok());
  testing::SettingsFixture f;
  for (const char* name : {"STUNServer1", "STUNServer2"}) f.Set(name, FormatSocketAddress(*stun.Local()));
  f.Set("UPNP", "0");
  f.Set("RTPPortBase", std::to_string(FreeEvenPorts(1)));
  setenv(platform::kLocalAddressVariable, "127.0.0.1", 1);  // a private address: STUN is asked
  testing::RecordingLog log;
  platform::SystemNameResolver resolver;
  platform::FakeTickClock frozen{1000};
  NatTraversal nat(f.settings, log, resolver, frozen);
  NatRtpSocketOpener opener(nat, f.settings, log);
  platform::SystemMediaClock mediaClock;
  media::MediaSession session({mediaClock, frozen, f.settings, resolver, opener, {}, {}, {}});
  SessionLineMedia media(session);

  auto opening = std::async(std::launch::async, [&] { return media.Open(); });
  std::uint8_t request[512];
  const platform::ReceiveResult asked = stun.ReceiveFrom(request, 5000);
  ASSERT_EQ(asked.status, platform::ReceiveStatus::kDatagram);
  std::atomic<bool> chatting{true};
  std::thread chatter([&] {
    for (; chatting.load(); std::this_thread::sleep_for(std::chrono::milliseconds(20))) stun.SendTo(asked.from, "x");
  });
  media.CancelOpen();
  const bool ended = opening.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  chatting.store(false);
  chatter.join();
  if (!ended) frozen.Advance(100000);  // a query that ignored the cancel ends, so the test can
  ASSERT_TRUE(ended);
  EXPECT_FALSE(opening.get());
  EXPECT_FALSE(media.Open());  // cancelled before the call thread opens (a hang-up at once)
  media.AllowOpen();           // the next call opens in full
  f.Set("STUN", "0");
  EXPECT_TRUE(media.Open());
  unsetenv(platform::kLocalAddressVariable);
}

}  // namespace
}  // namespace corvina::call
