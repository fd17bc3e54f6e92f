// Proves: the RTP socket takes an even port from RTPPortBase (8000 when out of range), walks
// past ports in use, asks for the public address with port step 16, and keeps moving up by 2
// while STUN maps it to odd public ports: the NAT lines once at the 20th try, no socket after
// more than 100; with STUN off an odd port is kept with its two lines. The socket carries the
// voice type-of-service and socket priority. The media session's opener hands on the socket
// and its addresses, and the negotiated SDP state becomes the session's remote description.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "call/rtp_socket.h"
#include "call/nat_rtp_socket_opener.h"
#include "nat_fakes.h"

namespace corvina::call {
namespace {

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
  f.Set("RTPPortBase", "41001");
  // 41000 is taken by someone else: the walk starts at 41002.
  platform::UdpSocket busy;
  if (!busy.Bind({0, 41000}).Ok()) GTEST_SKIP() << "port 41000 is in use here";
  nat.evenAfter = 25;
  auto rtp = Open();
  ASSERT_TRUE(rtp);
  ASSERT_EQ(nat.asked.size(), 26u);
  for (std::size_t i = 0; i < nat.asked.size(); ++i) {
    EXPECT_EQ(nat.asked[i].localPort, 41002 + 2 * i);
    EXPECT_EQ(nat.asked[i].portStep, 16);
    EXPECT_EQ(nat.asked[i].portBase, 41001);
  }
  EXPECT_EQ(rtp->localPort, 41052);
  EXPECT_EQ(rtp->publicPort % 2, 0);
  EXPECT_EQ(rtp->socket->Local()->port, 41052);
  const std::vector<std::string> expected = {"Something is wrong with the NAT device",
                                             "It always assigns'odd' ports which are forbidden for Rtp",
                                             "Check your NAT or turn off STUN."};
  EXPECT_EQ(log.Texts(), expected);
}

TEST_F(RtpSocketOpening, GivesUpAfterMoreThanHundredOddPorts) {
  f.Set("RTPPortBase", "42000");
  EXPECT_FALSE(Open());
  EXPECT_EQ(nat.asked.size(), 101u);
  EXPECT_EQ(log.entries.size(), 3u);
}

TEST_F(RtpSocketOpening, OddPortIsKeptWhenStunIsOff) {
  f.Set("RTPPortBase", "43000");
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
  f.Set("RTPPortBase", "44000");
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

}  // namespace
}  // namespace corvina::call
