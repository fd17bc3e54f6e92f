// Proves: the RTP socket takes an even port from RTPPortBase (8000 when out of range), walks
// past ports in use, asks for the public address with port step 16, and keeps moving up by 2
// while STUN maps it to odd public ports: the NAT lines once at the 20th try, no socket after
// more than 100; with STUN off an odd port is kept with its two lines.
#include <gtest/gtest.h>

#include "call/rtp_socket.h"
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
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{"Public RTP port is not an even number (it should be).",
                                                   "Check your Network Settings."}));
}

}  // namespace
}  // namespace corvina::call
