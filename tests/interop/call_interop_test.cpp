// Calls between the running phone and SIPp on loopback, timed from SIPp's message trace:
// - the phone calls a SIPp UAS, which answers; the phone's hang-up sends the BYE;
// - a UAS that never answers gets the INVITE every 500 ms until the give-up at 10 s; its late 180
//   draws a CANCEL at once;
// - SIPp calls the phone: 180 every 2 s with growing ring counts; a CANCEL gets 200 and the INVITE
//   487 every 350 ms until the ACK;
// - SIPp calls and the phone answers; SIPp hangs up;
// - a busy UAS: the 486 is acknowledged and logged; a UAS that challenges with qop checks the
//   phone's credentials (SIPp's verifyauth reads only Authorization, so the challenge is a 401;
//   407 and Proxy-Authorization are the same code path with the other header names).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/interop/call_interop_fixture.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;

TEST_F(CallInterop, PhoneCallsSippUasWhichAnswersAndThePhoneHangsUp) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml = std::string(kHead) + AnsweringUas(true);
  auto sipp = StartSipp("uas", xml, true, port);
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
  const std::string status = phone_->Ask("status");
  EXPECT_NE(status.find("\"current\":true,\"remotePort\":"), std::string::npos) << status;
  EXPECT_EQ(status.find("\"current\":true,\"remotePort\":0}"), std::string::npos) << status;
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

TEST_F(CallInterop, SilentUasGetsTheInviteEvery500MsUntilTheGiveUpAt10sAndALate180IsCancelled) {
  const std::uint16_t port = FreeUdpPort();
  // SIPp keeps silent for 11 s, then rings late: the phone, which gave up, cancels.
  const std::string xml = std::string(kHead) + R"(<recv request="INVITE"/>
<pause milliseconds="11000"/>
)" + UasReply("180 Ringing", true) + kUasCancelled + "</scenario>\n";
  auto sipp = StartSipp("silent", xml, true, port);
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  // The give-up logs the time-out lines and leaves the line idle.
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 12000));
  const SippMessage gaveUp{.at = SippClockNow(), .firstLine = {}, .text = {}};
  const std::string log = phone_->ActivityLog();
  EXPECT_NE(log.find("Error call attempt timed-out."), std::string::npos);
  EXPECT_NE(log.find("The server is not replying."), std::string::npos);
  ASSERT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("silent");
  const std::vector<SippMessage> trace = SippTrace("silent");
  const std::vector<SippMessage> invites = SippMessagesLike(trace, false, "INVITE ");
  ASSERT_GE(invites.size(), 19u) << SippMessages("silent");
  for (double gap : GapsMs(invites)) EXPECT_NEAR(gap, 500.0, 100.0);
  EXPECT_NEAR(MsBetween(invites.front(), gaveUp), 10000.0, 250.0);
  // No INVITE after the give-up, up to the late 180 at 11 s.
  EXPECT_LT(invites.back().at, gaveUp.at);
  const std::vector<SippMessage> ringing = SippMessagesLike(trace, true, "SIP/2.0 180");
  const std::vector<SippMessage> cancels = SippMessagesLike(trace, false, "CANCEL ");
  ASSERT_EQ(ringing.size(), 1u);
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_LE(MsBetween(ringing.front(), cancels.front()), 200.0) << "the CANCEL follows the late 180 at once";
  EXPECT_EQ(cancels.front().Header("Via"), invites.front().Header("Via"));
}

TEST_F(CallInterop, SippCallsRingsAndCancelsThe487IsRepeatedUntilAcked) {
  // SIPp lets it ring three times, cancels, and acknowledges the 487 only after 1.2 s.
  const std::string xml = std::string(kHead) + kCallerInvite + R"(<recv response="100" optional="true"/>
<recv response="180"/>
<pause milliseconds="5000"/>
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
<pause milliseconds="1200"/>
)" + kAckOfLast + R"(<pause milliseconds="1500"/>
</scenario>
)";
  auto sipp = StartSipp("cancel", xml, false, FreeUdpPort());
  EXPECT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\"", "\"ringCount\":3", "\"remoteName\":\"Sipp\""},
                                   10000));
  EXPECT_EQ(ExitOf(*sipp, 20000), 0) << SippMessages("cancel");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  // The call was never answered: a missed call.
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"missed\"", "\"count\":1", "You have 1 missed call(s).\\r\\n"}, 5000));
  // The line's announcements: the ring count grows 1, 2, 3 (the call's start announces 1 too).
  std::vector<int> counts;
  for (const std::string& e : phone_->Events()) {
    const std::size_t at = e.find("\"ringCount\":");
    if (e.find("\"event\":\"line\"") != std::string::npos &&
        e.find("\"state\":\"IncomingRinging\"") != std::string::npos && at != std::string::npos) {
      counts.push_back(std::stoi(e.substr(at + 12)));
    }
  }
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
  EXPECT_EQ(counts, (std::vector<int>{1, 2, 3}));
  const std::vector<SippMessage> trace = SippTrace("cancel");
  const std::vector<SippMessage> rings = SippMessagesLike(trace, false, "SIP/2.0 180");
  ASSERT_EQ(rings.size(), 3u) << SippMessages("cancel");
  for (double gap : GapsMs(rings)) EXPECT_NEAR(gap, 2000.0, 100.0);
  const std::vector<SippMessage> acks = SippMessagesLike(trace, true, "ACK ");
  ASSERT_EQ(acks.size(), 1u);
  std::vector<SippMessage> terminated;  // the 487s up to the ACK
  for (const SippMessage& m : SippMessagesLike(trace, false, "SIP/2.0 487")) {
    EXPECT_LT(m.at, acks.front().at) << "no 487 after the ACK";
    terminated.push_back(m);
  }
  ASSERT_GE(terminated.size(), 3u);
  for (double gap : GapsMs(terminated)) EXPECT_NEAR(gap, 350.0, 100.0);
}

TEST_F(CallInterop, SippCallsThePhoneAnswersAndSippHangsUp) {
  const std::string xml = std::string(kHead) + kCallerConnects + R"(<pause milliseconds="1000"/>
)" + CallerBye(2) + R"(</scenario>
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

// A ringing call the phone refuses: the final response is acknowledged and the line is idle.
TEST_F(CallInterop, RingingCallsThePhoneRefusesGetTheirFinalResponse) {
  // An offer of payload 18 only, a codec the phone does not have.
  std::string g729 = testing::kSippPcmuSdp;
  g729.replace(g729.find("RTP/AVP 0\na=rtpmap:0 PCMU"), std::string("RTP/AVP 0\na=rtpmap:0 PCMU").size(),
               "RTP/AVP 18\na=rtpmap:18 G729");
  const struct {
    const char* name;
    std::string sdp;
    const char* verb;
    const char* response;
  } cases[] = {{"hangup", testing::kSippPcmuSdp, "hangup", "SIP/2.0 480 Temporarily Unavailable"},
               {"nocodec", g729, "answer", "SIP/2.0 415 Unsupported Media Type"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string xml = std::string(kHead) + CallerInvite(true, {}, c.sdp) +
                            "<recv response=\"100\" optional=\"true\"/>\n<recv response=\"180\"/>\n"
                            "<recv response=\"180\" optional=\"true\"/>\n<recv response=\"" +
                            std::string(c.response).substr(8, 3) + "\"/>\n" + kAckOfLast + "</scenario>\n";
    auto sipp = StartSipp(c.name, xml, false, FreeUdpPort());
    ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000));
    EXPECT_EQ(phone_->Ask(c.verb), "ok {\"line\":1}");
    EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages(c.name);
    EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
    const std::vector<SippMessage> finals = SippMessagesLike(SippTrace(c.name), false, c.response);
    EXPECT_EQ(finals.size(), 1u) << SippMessages(c.name);
    phone_->ClearEvents();
  }
}

TEST_F(CallInterop, BusyUasIsAcknowledgedAndLogged) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml = std::string(kHead) + R"(<recv request="INVITE"/>
)" + UasReply("486 Busy Here", true) + R"(<recv request="ACK"/>
</scenario>
)";
  auto sipp = StartSipp("busy", xml, true, port);
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("busy");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  EXPECT_NE(phone_->ActivityLog().find("Error. Other side said: Busy Here"), std::string::npos);
}

TEST_F(CallInterop, ChallengingUasVerifiesTheDigestWithQop) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml = std::string(kHead) + R"(<Global variables="user,pass"/>
<recv request="INVITE"/>
)" + UasReply("401 Unauthorized", true, "[last_CSeq:]", "WWW-Authenticate: Digest realm=\"sipp.test\", nonce=\"4f8e2a11c3\", qop=\"auth\", algorithm=MD5\n") + R"(<recv request="ACK"/>
<recv request="INVITE">
  <action>
    <verifyauth assign_to="authvalid" username="[$user]" password="[$pass]"/>
    <log message="credentials of [$user] with [$pass] checked"/>
  </action>
</recv>
<nop hide="true" test="authvalid" next="good"/>
)" + UasReply("403 Forbidden", true, "[last_CSeq:]", "", " next=\"end\"") + R"(<label id="good"/>
)" + UasReply("486 Busy Here", true) + R"(<recv request="ACK"/>
<label id="end"/>
</scenario>
)";
  auto sipp = StartSipp("auth", xml, true, port, " -set user 100 -set pass secret");
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("auth");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  // The credentials passed: the UAS answered busy, not forbidden.
  EXPECT_NE(phone_->ActivityLog().find("Error. Other side said: Busy Here"), std::string::npos)
      << phone_->ActivityLog() << SippMessages("auth");
}

}  // namespace
}  // namespace corvina::interop
