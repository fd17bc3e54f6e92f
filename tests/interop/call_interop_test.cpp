// Calls between the running phone and SIPp (or a bare UDP peer) on loopback:
// - the phone calls a SIPp UAS, which answers; the phone's hang-up sends the BYE;
// - a peer that never answers gets the INVITE every 500 ms and the phone gives up at 10 s;
// - SIPp calls the phone: it rings with growing counts, a CANCEL gets 200 and the INVITE 487 until the ACK;
// - SIPp calls and the phone answers; SIPp hangs up;
// - a busy UAS: the 486 is acknowledged and logged; a UAS that challenges with qop checks the
//   phone's credentials (SIPp's verifyauth reads only Authorization, so the challenge is a 401;
//   407 and Proxy-Authorization are the same code path with the other header names).
#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>

#include "tests/support/phone_under_test.h"
#include "tests/support/sipp_peer.h"
#include "tests/support/temp_folder.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;

constexpr std::uint32_t kLoopback = 0x7F000001;

// SIPp as the caller: INVITE with a PCMU offer to user 100 of the phone.
const std::string kCallerInvite = R"(<send retrans="500"><![CDATA[

INVITE sip:100@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
From: "Sipp" <sip:sipp@[local_ip]:[local_port]>;tag=[pid]SIPpTag[call_number]
To: <sip:100@[remote_ip]:[remote_port]>
Call-ID: [call_id]
CSeq: 1 INVITE
Contact: <sip:sipp@[local_ip]:[local_port]>
Max-Forwards: 70
Content-Type: application/sdp
Content-Length: [len]

)" + std::string(kSippPcmuSdp) + "]]></send>\n";

const char* kAckOfLast = R"(<send><![CDATA[

ACK sip:100@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
[last_From:]
[last_To:]
Call-ID: [call_id]
CSeq: 1 ACK
Max-Forwards: 70
Content-Length: 0

]]></send>
)";

class CallInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    phone_ = std::make_unique<PhoneUnderTest>(
        folder_.Sub("phone"), std::vector<std::vector<std::string>>{{"SIP", "Port", std::to_string(FreeUdpPort())},
                                                                    {"SIP", "RTPPortBase", "31000"},
                                                                    {"DefaultLine", "UserName", "100"},
                                                                    {"DefaultLine", "ProxyPassword", "secret"}});
    phone_->Start();
    sipPort_ = phone_->WaitForSipPort(10000);
    ASSERT_NE(sipPort_, 0);
  }
  void TearDown() override {
    if (phone_) {
      EXPECT_EQ(phone_->Quit(), 0);
    }
  }

  std::unique_ptr<ChildProcess> StartSipp(const std::string& name, const std::string& xml, bool server,
                                          std::uint16_t port, const std::string& extra = {}) {
    return StartSippPeer(folder_.Sub("sipp-" + name), xml, port, server ? 0 : sipPort_, extra);
  }
  std::string SippMessages(const std::string& name) { return ReadFile(folder_.Sub("sipp-" + name) + "/msg.txt"); }

  corvina::testing::TempFolder folder_{"calls"};
  std::unique_ptr<PhoneUnderTest> phone_;
  std::uint16_t sipPort_ = 0;
};

TEST_F(CallInterop, PhoneCallsSippUasWhichAnswersAndThePhoneHangsUp) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml = kSippUasAnswersThenTakesBye;
  auto sipp = StartSipp("uas", xml, true, port);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // SIPp binds its port
  const std::string answer = phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port));
  ASSERT_EQ(answer, "ok {\"line\":1}");
  // The controller: "Calling", its tone, then "Call Answered" on line 1 with the timer from zero.
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"display\"", "\"title\":\"Calling 200"}, 10000));
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"tone\"", "\"name\":\"Calling\""}, 10000));
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"RemoteRinging\"", "\"value\":4"}, 10000));
  ASSERT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\"", "\"remoteNumber\":\"200\""},
                                   10000));
  EXPECT_TRUE(phone_->WaitForEvent(
      {"\"event\":\"display\"", "\"title\":\"Call Answered\"", "\"left\":\"Line 1\"", "\"right\":\"0:00:0"}, 10000));
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\",\"line\":1,\"lit\":true"}, 10000));
  EXPECT_NE(phone_->Ask("state").find("\"currentLine\":1"), std::string::npos);
  EXPECT_NE(phone_->Ask("status").find("\"remotePort\":"), std::string::npos);
  EXPECT_EQ(phone_->Ask("hangup"), "ok {\"line\":1}");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 10000));
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("uas");
  // One phone-log row for the call.
  const std::string rows = phone_->PhoneLogAscii();
  EXPECT_EQ(rows.size() - rows.find(", \"200\",\"200\"\r\n"), std::string(", \"200\",\"200\"\r\n").size()) << rows;
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 1) << rows;
  EXPECT_NE(phone_->ActivityLog().find("Call answered"), std::string::npos);
  EXPECT_NE(phone_->ActivityLog().find("Call has disconnected"), std::string::npos);
}

TEST_F(CallInterop, SilentPeerGetsTheInviteEvery500MsUntilTheGiveUpAt10s) {
  platform::UdpSocket peer;
  ASSERT_TRUE(peer.Bind({kLoopback, 0}).Ok());
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(peer.Local()->port)), "ok {\"line\":1}");
  std::vector<std::chrono::steady_clock::time_point> invites;
  std::uint8_t buffer[4096];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(12000);
  while (std::chrono::steady_clock::now() < deadline) {
    platform::ReceiveResult r = peer.ReceiveFrom(buffer, 200);
    if (r.status != platform::ReceiveStatus::kDatagram) continue;
    if (std::string_view(reinterpret_cast<char*>(buffer), r.size).starts_with("INVITE ")) {
      invites.push_back(std::chrono::steady_clock::now());
    }
  }
  ASSERT_GE(invites.size(), 2u);
  const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(invites.back() - invites.front()).count();
  EXPECT_NEAR(static_cast<double>(invites.size()), 20.0, 1.0);
  EXPECT_NEAR(static_cast<double>(span), 9500.0, 400.0);
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 3000));
  const std::string log = phone_->ActivityLog();
  EXPECT_NE(log.find("Error call attempt timed-out."), std::string::npos);
  EXPECT_NE(log.find("The server is not replying."), std::string::npos);
}

TEST_F(CallInterop, SippCallsRingsAndCancelsThe487IsAcked) {
  const std::string xml = std::string(kSippHead) + kCallerInvite + R"(<recv response="100" optional="true"/>
<recv response="180"/>
<pause milliseconds="2500"/>
<send><![CDATA[

CANCEL sip:100@[remote_ip]:[remote_port] SIP/2.0
[last_Via:]
From: "Sipp" <sip:sipp@[local_ip]:[local_port]>;tag=[pid]SIPpTag[call_number]
To: <sip:100@[remote_ip]:[remote_port]>
Call-ID: [call_id]
CSeq: 1 CANCEL
Max-Forwards: 70
Content-Length: 0

]]></send>
<recv response="200"/>
<recv response="487"/>
)" + kAckOfLast + "</scenario>\n";
  auto sipp = StartSipp("cancel", xml, false, FreeUdpPort());
  EXPECT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\"", "\"ringCount\":2", "\"remoteName\":\"Sipp\""},
                                   10000));
  EXPECT_EQ(ExitOf(*sipp, 20000), 0) << SippMessages("cancel");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  // The call was never answered: a missed call.
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"missed\"", "\"count\":1", "You have 1 missed call(s).\\r\\n"}, 5000));
}

TEST_F(CallInterop, SippCallsThePhoneAnswersAndSippHangsUp) {
  const std::string xml = std::string(kSippHead) + kCallerInvite + R"(<recv response="100" optional="true"/>
<recv response="180" optional="true"/>
<recv response="180" optional="true"/>
<recv response="200" rrs="true"/>
)" + kAckOfLast + R"(<pause milliseconds="1000"/>
<send retrans="500"><![CDATA[

BYE sip:100@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
[last_From:]
[last_To:]
Call-ID: [call_id]
CSeq: 2 BYE
Max-Forwards: 70
Content-Length: 0

]]></send>
<recv response="200"/>
</scenario>
)";
  auto sipp = StartSipp("answer", xml, false, FreeUdpPort());
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000));
  EXPECT_EQ(phone_->Ask("answer"), "ok {\"line\":1}");
  EXPECT_TRUE(phone_->WaitForEvent({"\"state\":\"Connected\""}, 10000));
  EXPECT_EQ(ExitOf(*sipp, 20000), 0) << SippMessages("answer");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  EXPECT_NE(phone_->Ask("state").find("\"missedCalls\":0"), std::string::npos);  // answered: not missed
  EXPECT_NE(SippMessages("answer").find("m=audio 3100"), std::string::npos) << "the answer names the RTP port";
}

TEST_F(CallInterop, BusyUasIsAcknowledgedAndLogged) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml = std::string(kSippHead) + R"(<recv request="INVITE"/>
<send><![CDATA[

SIP/2.0 486 Busy Here
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Content-Length: 0

]]></send>
<recv request="ACK"/>
</scenario>
)";
  auto sipp = StartSipp("busy", xml, true, port);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("busy");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  EXPECT_NE(phone_->ActivityLog().find("Error. Other side said: Busy Here"), std::string::npos);
}

TEST_F(CallInterop, ChallengingUasVerifiesTheDigestWithQop) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml = std::string(kSippHead) + R"(<Global variables="user,pass"/>
<recv request="INVITE"/>
<send><![CDATA[

SIP/2.0 401 Unauthorized
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
WWW-Authenticate: Digest realm="sipp.test", nonce="4f8e2a11c3", qop="auth", algorithm=MD5
Content-Length: 0

]]></send>
<recv request="ACK"/>
<recv request="INVITE">
  <action>
    <verifyauth assign_to="authvalid" username="[$user]" password="[$pass]"/>
    <log message="credentials of [$user] with [$pass] checked"/>
  </action>
</recv>
<nop hide="true" test="authvalid" next="good"/>
<send next="end"><![CDATA[

SIP/2.0 403 Forbidden
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Content-Length: 0

]]></send>
<label id="good"/>
<send><![CDATA[

SIP/2.0 486 Busy Here
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Content-Length: 0

]]></send>
<recv request="ACK"/>
<label id="end"/>
</scenario>
)";
  auto sipp = StartSipp("auth", xml, true, port, " -set user 100 -set pass secret");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("auth");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  // The credentials passed: the UAS answered busy, not forbidden.
  EXPECT_NE(phone_->ActivityLog().find("Error. Other side said: Busy Here"), std::string::npos)
      << phone_->ActivityLog() << SippMessages("auth");
}

}  // namespace
}  // namespace corvina::interop
