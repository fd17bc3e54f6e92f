// Less common call flows between the running phone and real peers on loopback:
// - a called party whose 200 is repeated after the ACK gets the same ACK again;
// - an INVITE without SDP: the phone's 200 carries the offer and the ACK the answer;
// - a proxy that keeps challenging (407, qop) a wrong password: one retry, then the refusal;
// - baresip calls the phone, which answers; the phone hangs up and both are idle;
// - an INVITE with Replaces naming the connected call: 481 unless both tags match; with them the
//   old call gets a BYE and the new one is answered and connected.
#include <gtest/gtest.h>

#include "tests/interop/baresip_peer.h"
#include "tests/interop/call_interop_fixture.h"

namespace corvina::interop {
namespace {

// A bare UDP peer as the called party: it sees every datagram, so a repeated ACK (identical to
// the first, as it must be) is counted rather than taken for a resend.
class BareUas {
 public:
  BareUas() { bound_ = socket_.Bind({kLoopback, 0}).Ok(); }
  bool Bound() const { return bound_; }
  std::uint16_t Port() { return socket_.Local()->port; }

  // The next request starting with `method` within `timeoutMs`; empty when none came.
  std::string Next(const std::string& method, int timeoutMs) {
    std::uint8_t buffer[8192];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      platform::ReceiveResult r = socket_.ReceiveFrom(buffer, 100);
      if (r.status != platform::ReceiveStatus::kDatagram) continue;
      std::string text(reinterpret_cast<char*>(buffer), r.size);
      if (text.starts_with(method + " ")) {
        phone_ = r.from;
        return text;
      }
    }
    return {};
  }
  // A response to `request` with the request's Via, From, To (plus `toTag`), Call-ID and CSeq.
  void Reply(const std::string& request, const std::string& status, const std::string& toTag,
             const std::string& body = {}) {
    std::string text = "SIP/2.0 " + status + "\r\n";
    for (const char* name : {"Via", "From", "To", "Call-ID", "CSeq"}) {
      const std::size_t at = request.find(std::string("\r\n") + name + ": ");
      if (at == std::string::npos) continue;
      text += request.substr(at + 2, request.find("\r\n", at + 2) - at - 2);
      if (std::string(name) == "To" && !toTag.empty()) text += ";tag=" + toTag;
      text += "\r\n";
    }
    text += "Contact: <sip:200@127.0.0.1:" + std::to_string(Port()) + ">\r\n";
    if (!body.empty()) text += "Content-Type: application/sdp\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    last_ = text;
    socket_.SendTo(phone_, text);
  }
  void ReplyAgain() { socket_.SendTo(phone_, last_); }

 private:
  platform::UdpSocket socket_;
  bool bound_ = false;
  platform::SocketAddress phone_;
  std::string last_;
};

TEST_F(CallInterop, RepeatedTwoHundredIsAcknowledgedAgain) {
  BareUas uas;
  ASSERT_TRUE(uas.Bound());
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(uas.Port())), "ok {\"line\":1}");
  const std::string invite = uas.Next("INVITE", 5000);
  ASSERT_FALSE(invite.empty());
  const std::string sdp =
      "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio " +
      std::to_string(FreeUdpPort()) + " RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n";
  uas.Reply(invite, "200 OK", "uas7", sdp);
  const std::string ack = uas.Next("ACK", 3000);
  ASSERT_FALSE(ack.empty());
  ASSERT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 5000));
  uas.ReplyAgain();
  EXPECT_EQ(uas.Next("ACK", 3000), ack) << "the repeated 200 gets the same ACK";
  uas.ReplyAgain();
  EXPECT_EQ(uas.Next("ACK", 3000), ack);
  // The call goes on: the phone's hang-up sends the BYE.
  EXPECT_EQ(phone_->Ask("hangup"), "ok {\"line\":1}");
  const std::string bye = uas.Next("BYE", 3000);
  ASSERT_FALSE(bye.empty());
  uas.Reply(bye, "200 OK", "");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
}

TEST_F(CallInterop, InviteWithoutSdpGetsTheOfferInTheTwoHundredAndTheAnswerInTheAck) {
  const std::string xml = std::string(kHead) + CallerInvite(false) + R"(<recv response="100" optional="true"/>
<recv response="180" optional="true"/>
<recv response="180" optional="true"/>
<recv response="200">
  <action>
    <ereg regexp="m=audio [0-9]+ RTP/AVP" search_in="body" check_it="true" assign_to="offer"/>
    <log message="offer [$offer]"/>
  </action>
</recv>
)" + CallerAck(1, true) + R"(<pause milliseconds="2000"/>
)" + CallerBye(2) + "</scenario>\n";
  auto sipp = StartSipp("nosdp", xml, false, FreeUdpPort());
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000));
  EXPECT_EQ(phone_->Ask("answer"), "ok {\"line\":1}");
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"Connected\""}, 10000));
  // The answer in the ACK gave the media its far end.
  EXPECT_TRUE(testing::PollUntil(
      [&] {
        const std::string status = phone_->Ask("status");
        return status.find("\"current\":true,\"remotePort\":") != std::string::npos &&
               status.find("\"current\":true,\"remotePort\":0}") == std::string::npos;
      },
      1500))
      << phone_->Ask("status");
  EXPECT_EQ(ExitOf(*sipp, 20000), 0) << SippMessages("nosdp");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
}

TEST_F(CallInterop, WrongPasswordStopsAfterOneRetryWithTheRefusalLines) {
  const std::uint16_t port = FreeUdpPort();
  auto challenge = [](const std::string& nonce) {
    return UasReply("407 Proxy Authentication Required", true, "[last_CSeq:]",
                    "Proxy-Authenticate: Digest realm=\"sipp.test\", nonce=\"" + nonce +
                        "\", qop=\"auth\", algorithm=MD5\n");
  };
  // A third INVITE (a new transaction, not a resend) during the pause fails SIPp's call.
  const std::string xml = std::string(kHead) + R"(<recv request="INVITE"/>
)" + challenge("5a01c0ffee") + R"(<recv request="ACK"/>
<recv request="INVITE">
  <action>
    <ereg regexp="Digest .*cnonce=" search_in="hdr" header="Proxy-Authorization:" check_it="true" assign_to="creds"/>
    <log message="answered [$creds]"/>
  </action>
</recv>
)" + challenge("6b02d0d0d0") + R"(<recv request="ACK"/>
<pause milliseconds="2500"/>
</scenario>
)";
  auto sipp = StartSipp("refused", xml, true, port);
  ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 10000));
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << ReadFile(folder_.Sub("sipp-refused") + "/out.txt");
  const std::string log = phone_->ActivityLog();
  for (const char* line : {"Authorization failed for server", "Error message was: Proxy Authentication Required",
                           "Check username or password for the proxy server.",
                           "Perhaps calls to this number are not allowed by this server."}) {
    EXPECT_EQ(CountOf(log, line), 1) << line << "\n" << log;
  }
}

TEST_F(CallInterop, BaresipCallsThePhoneWhichAnswersAndHangsUp) {
  Baresip baresip(440, "PCMU/8000/1", "sip:100@127.0.0.1:" + std::to_string(sipPort_));
  ASSERT_TRUE(baresip.WaitReady()) << baresip.Log();
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000)) << baresip.Log();
  EXPECT_EQ(phone_->Ask("answer"), "ok {\"line\":1}");
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"Connected\""}, 10000)) << baresip.Log();
  EXPECT_TRUE(interop::PollUntil([&] { return baresip.Log().find("established") != std::string::npos; }, 5000))
      << baresip.Log();
  EXPECT_EQ(phone_->Ask("hangup"), "ok {\"line\":1}");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  // baresip took the BYE and closed its session.
  EXPECT_TRUE(interop::PollUntil([&] { return baresip.Log().find("session closed") != std::string::npos; }, 5000))
      << baresip.Log();
  EXPECT_NE(phone_->ActivityLog().find("Call has disconnected"), std::string::npos);
}

TEST_F(CallInterop, InviteWithReplacesTakesOverTheConnectedCallOnlyWhenBothTagsMatch) {
  const std::string first = std::string(kHead) + kCallerConnects + kSippTakesBye + "</scenario>\n";
  auto sipp1 = StartSipp("first", first, false, FreeUdpPort());
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000));
  EXPECT_EQ(phone_->Ask("answer"), "ok {\"line\":1}");
  ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"Connected\""}, 10000));
  // The dialog's identifiers as SIPp #1 saw them.
  std::vector<SippMessage> trace;
  ASSERT_TRUE(PollUntil([&] { return !SippMessagesLike(trace = SippTrace("first"), true, "ACK ").empty(); }, 5000));
  const SippMessage answer = SippMessagesLike(trace, false, "SIP/2.0 200").front();
  const std::string callId = answer.Header("Call-ID");
  const std::string phoneTag = TagOf(answer.Header("To"));
  const std::string callerTag = TagOf(answer.Header("From"));
  ASSERT_FALSE(phoneTag.empty() || callerTag.empty()) << answer.text;
  auto replacing = [&](const std::string& toTag, const std::string& fromTag, const std::string& steps) {
    return std::string(kHead) +
           CallerInvite(true, "Replaces: " + callId + ";to-tag=" + toTag + ";from-tag=" + fromTag + "\n") +
           "<recv response=\"100\" optional=\"true\"/>\n" + steps + "</scenario>\n";
  };

  // The tags swapped: no such dialog, and the call goes on.
  auto wrong = StartSipp("wrong", replacing(callerTag, phoneTag, "<recv response=\"481\"/>\n" + kAckOfLast), false,
                         FreeUdpPort());
  EXPECT_EQ(ExitOf(*wrong, 10000), 0) << SippMessages("wrong");
  EXPECT_NE(SippMessages("wrong").find("SIP/2.0 481 Call/Transaction Does Not Exist"), std::string::npos);
  EXPECT_FALSE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 500));
  EXPECT_TRUE(SippMessagesLike(SippTrace("first"), false, "BYE ").empty());

  // The right tags: the old call is ended, the new one answered with an SDP answer and connected.
  auto right = StartSipp("right",
                         replacing(phoneTag, callerTag,
                                   "<recv response=\"200\" rrs=\"true\"/>\n" + kAckOfLast +
                                       "<pause milliseconds=\"2000\"/>\n" + CallerBye(2)),
                         false, FreeUdpPort());
  EXPECT_EQ(ExitOf(*sipp1, 10000), 0) << SippMessages("first");
  std::vector<SippMessage> offer;  // SIPp may not have written its trace yet
  PollUntil([&] { return !(offer = SippMessagesLike(SippTrace("right"), true, "INVITE ")).empty(); }, 5000);
  ASSERT_EQ(offer.size(), 1u) << SippMessages("right");
  const std::size_t m = offer.front().text.find("m=audio ");
  ASSERT_NE(m, std::string::npos);
  const std::string mediaPort = offer.front().text.substr(m + 8, offer.front().text.find(' ', m + 8) - m - 8);
  // Media follows the new call while it lasts.
  EXPECT_TRUE(PollUntil(
      [&] { return phone_->Ask("status").find("\"current\":true,\"remotePort\":" + mediaPort) != std::string::npos; },
      1500))
      << phone_->Ask("status");
  EXPECT_EQ(ExitOf(*right, 10000), 0) << SippMessages("right");
  EXPECT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  const std::vector<SippMessage> accepted = SippMessagesLike(SippTrace("right"), false, "SIP/2.0 200");
  ASSERT_FALSE(accepted.empty());
  EXPECT_NE(accepted.front().text.find("m=audio "), std::string::npos) << "the 200 carries the SDP answer";
  const std::vector<SippMessage> byes = SippMessagesLike(SippTrace("first"), false, "BYE ");
  ASSERT_EQ(byes.size(), 1u);
  EXPECT_LT(offer.front().at, byes.front().at);
}

}  // namespace
}  // namespace corvina::interop
