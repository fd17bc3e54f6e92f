// More calls between the running phone and SIPp (or bare UDP peers) on loopback:
// - quit during a call sends the BYE before the phone exits;
// - hang-up while the far end rings: "Call initiate attempt abandoned", CANCEL, 487 acknowledged;
// - a UAS that only sends 100 is cancelled at 65 s, and the 487's ACK has the INVITE's branch;
// - a re-INVITE with "a=sendonly" is answered "a=recvonly" and the call stays;
// - an answer that is never acknowledged: the 200 every 350 ms, then BYE after 8 s;
// - a 302 with two Contacts: the one of higher q is tried first.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "tests/interop/call_interop_fixture.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;
using Clock = std::chrono::steady_clock;

TEST_F(CallInterop, QuitDuringACallSendsTheByeBeforeExiting) {
  const std::uint16_t port = FreeUdpPort();
  auto sipp = StartSipp("quit", std::string(kHead) + AnsweringUas(false), true, port);
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"Connected\""}, 10000));
  EXPECT_EQ(phone_->Quit(), 0);
  phone_.reset();
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("quit");
}

TEST_F(CallInterop, HangUpWhileTheFarEndRingsCancelsAndAcknowledgesThe487) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml =
      std::string(kHead) + "<recv request=\"INVITE\"/>\n" + UasReply("180 Ringing", true) + kUasCancelled + "</scenario>\n";
  auto sipp = StartSipp("cancel-out", xml, true, port);
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"RemoteRinging\""}, 10000));
  EXPECT_EQ(phone_->Ask("hangup"), "ok {\"line\":1}");
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("cancel-out");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  EXPECT_NE(phone_->ActivityLog().find("Call initiate attempt abandoned"), std::string::npos);
}

TEST_F(CallInterop, UasSendingOnly100IsCancelledAt65sAndThe487AckedOnTheInvitesBranch) {
  const std::uint16_t port = FreeUdpPort();
  const std::string xml = std::string(kHead) + "<recv request=\"INVITE\"/>\n" + UasReply("100 Trying", false) +
                          kUasCancelled + "</scenario>\n";
  auto sipp = StartSipp("trying", xml, true, port, " -timeout 80s");  // overrides the shorter default
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  ASSERT_EQ(ExitOf(*sipp, 70000), 0) << SippMessages("trying");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  const std::vector<SippMessage> trace = SippTrace("trying");
  const std::vector<SippMessage> invites = SippMessagesLike(trace, false, "INVITE ");
  const std::vector<SippMessage> cancels = SippMessagesLike(trace, false, "CANCEL ");
  const std::vector<SippMessage> acks = SippMessagesLike(trace, false, "ACK ");
  ASSERT_EQ(invites.size(), 1u) << "the 100 stops the resends";
  ASSERT_EQ(cancels.size(), 1u);
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_NEAR(MsBetween(invites.front(), cancels.front()), 65000.0, 1000.0);
  EXPECT_EQ(cancels.front().Header("Via"), invites.front().Header("Via"));
  EXPECT_EQ(acks.front().Header("Via"), invites.front().Header("Via")) << "the ACK of the 487 is in the INVITE's transaction";
  EXPECT_LT(SippMessagesLike(trace, true, "SIP/2.0 487").front().at, acks.front().at);
}

TEST_F(CallInterop, SendonlyReInviteIsAnsweredRecvonlyAndTheCallStays) {
  const std::string xml = std::string(kHead) + kCallerConnects + R"(<send retrans="500"><![CDATA[

INVITE sip:100@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
[last_From:]
[last_To:]
Call-ID: [call_id]
CSeq: 2 INVITE
Contact: <sip:sipp@[local_ip]:[local_port]>
Max-Forwards: 70
Content-Type: application/sdp
Content-Length: [len]

v=0
o=user1 53655765 2353687638 IN IP[local_ip_type] [local_ip]
s=-
c=IN IP[media_ip_type] [media_ip]
t=0 0
m=audio [media_port] RTP/AVP 0
a=rtpmap:0 PCMU/8000
a=sendonly
]]></send>
<recv response="200">
  <action>
    <ereg regexp="a=recvonly" search_in="body" check_it="true" assign_to="held"/>
    <log message="answer direction [$held]"/>
  </action>
</recv>
)" + CallerAck(2) + R"(<pause milliseconds="1500"/>
)" + CallerBye(3) + R"(</scenario>
)";
  auto sipp = StartSipp("sendonly", xml, false, FreeUdpPort());
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000));
  EXPECT_EQ(phone_->Ask("answer"), "ok {\"line\":1}");
  EXPECT_EQ(ExitOf(*sipp, 20000), 0) << SippMessages("sendonly");
  // Connected once, and idle only after SIPp's BYE: the re-INVITE did not end the call.
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  EXPECT_EQ(phone_->ActivityLog().find("Incoming connection does not support"), std::string::npos);
}

// A bare UDP peer on loopback that keeps every datagram with its arrival time.
class UdpPeer {
 public:
  UdpPeer() { ok_ = socket_.Bind({kLoopback, 0}).Ok(); }
  bool Ok() const { return ok_; }
  std::uint16_t Port() const { return socket_.Local()->port; }
  void Send(std::uint16_t port, const std::string& text) { socket_.SendTo({kLoopback, port}, text); }
  // Receives for `ms`; the datagrams that start with `prefix` and their times.
  std::vector<std::pair<Clock::time_point, std::string>> Collect(int ms, const std::string& prefix) {
    std::vector<std::pair<Clock::time_point, std::string>> out;
    std::uint8_t buffer[4096];
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline) {
      platform::ReceiveResult r = socket_.ReceiveFrom(buffer, 100);
      if (r.status != platform::ReceiveStatus::kDatagram) continue;
      std::string text(reinterpret_cast<char*>(buffer), r.size);
      if (text.rfind(prefix, 0) == 0) out.emplace_back(Clock::now(), std::move(text));
    }
    return out;
  }

 private:
  platform::UdpSocket socket_;
  bool ok_ = false;
};

TEST_F(CallInterop, AnswerNeverAcknowledgedIsRepeatedEvery350MsThenEndedAfter8s) {
  // SIPp calls without an offer and never acknowledges the answer; it takes the phone's BYE.
  const std::string xml = std::string(kHead) + CallerInvite(false) + R"(<recv response="100" optional="true"/>
<recv response="180" optional="true"/>
<recv response="180" optional="true"/>
<recv response="200"/>
)" + kSippTakesBye + "</scenario>\n";
  auto sipp = StartSipp("noack", xml, false, FreeUdpPort());
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 5000));
  EXPECT_EQ(phone_->Ask("answer"), "ok {\"line\":1}");
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << SippMessages("noack");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 3000));
  const std::vector<SippMessage> trace = SippTrace("noack");
  const std::vector<SippMessage> oks = SippMessagesLike(trace, false, "SIP/2.0 200");
  const std::vector<SippMessage> byes = SippMessagesLike(trace, false, "BYE ");
  ASSERT_GE(oks.size(), 20u) << SippMessages("noack");
  ASSERT_EQ(byes.size(), 1u);
  for (double gap : GapsMs(oks)) EXPECT_NEAR(gap, 350.0, 100.0);
  EXPECT_NEAR(MsBetween(oks.front(), byes.front()), 8000.0, 250.0);
  EXPECT_LT(oks.back().at, byes.front().at);
  EXPECT_NE(oks.front().text.find("a=sendrecv"), std::string::npos) << "an offer, as the INVITE had none";
}

TEST_F(CallInterop, RedirectTriesTheHigherQContactFirst) {
  UdpPeer redirector, low, high;
  ASSERT_TRUE(redirector.Ok() && low.Ok() && high.Ok());
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(redirector.Port())), "ok {\"line\":1}");
  auto invites = redirector.Collect(700, "INVITE ");
  ASSERT_FALSE(invites.empty());
  // Answer the first INVITE with a 302 built from its own headers.
  const std::string& invite = invites.front().second;
  auto header = [&](const std::string& name) {
    std::smatch m;
    std::regex re("\r\n" + name + ": ([^\r]*)\r\n");
    return std::regex_search(invite, m, re) ? m[1].str() : std::string();
  };
  redirector.Send(sipPort_, "SIP/2.0 302 Moved\r\nVia: " + header("Via") + "\r\nFrom: " + header("From") +
                                "\r\nTo: " + header("To") + ";tag=r1\r\nCall-ID: " + header("Call-ID") +
                                "\r\nCSeq: " + header("CSeq") + "\r\nContact: <sip:low@127.0.0.1:" +
                                std::to_string(low.Port()) + ">;q=0.2, <sip:high@127.0.0.1:" +
                                std::to_string(high.Port()) + ">;q=0.9\r\nContent-Length: 0\r\n\r\n");
  const auto first = high.Collect(1500, "INVITE sip:high@");
  ASSERT_FALSE(first.empty());
  const auto second = low.Collect(3500, "INVITE sip:low@");
  ASSERT_FALSE(second.empty());
  EXPECT_LT(first.front().first, second.front().first);
  EXPECT_TRUE(phone_->Ask("hangup").rfind("ok", 0) == 0);
}

}  // namespace
}  // namespace corvina::interop
