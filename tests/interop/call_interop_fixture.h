// The phone under test with one line (user 100, password "secret") and SIPp scenarios run
// against it on loopback, for the call tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/phone_fixture.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/sipp_peer.h"
#include "tests/support/temp_folder.h"

namespace corvina::interop {


inline constexpr std::uint32_t kLoopback = 0x7F000001;

inline const char* kHead = testing::kSippHead;

// SIPp as the caller: INVITE to user 100 of the phone, with the offer `sdp` (PCMU unless given)
// when `offer` holds and the complete header lines `extra`.
inline std::string CallerInvite(bool offer, const std::string& extra = {},
                                const std::string& sdp = testing::kSippPcmuSdp) {
  return std::string(R"(<send retrans="500"><![CDATA[

INVITE sip:100@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
From: "Sipp" <sip:sipp@[local_ip]:[local_port]>;tag=[pid]SIPpTag[call_number]
To: <sip:100@[remote_ip]:[remote_port]>
Call-ID: [call_id]
CSeq: 1 INVITE
Contact: <sip:sipp@[local_ip]:[local_port]>
Max-Forwards: 70
)") + extra + (offer ? "Content-Type: application/sdp\nContent-Length: [len]\n\n" + sdp
               : std::string("Content-Length: 0\n\n")) +
         "]]></send>\n";
}
inline const std::string kCallerInvite = CallerInvite(true);

// SIPp as the caller acknowledges the last final response with CSeq `cseq`, carrying a PCMU
// answer when `answer` holds.
inline std::string CallerAck(int cseq, bool answer = false) {
  return "<send><![CDATA[\n\nACK sip:100@[remote_ip]:[remote_port] SIP/2.0\n"
         "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n[last_From:]\n[last_To:]\n"
         "Call-ID: [call_id]\nCSeq: " + std::to_string(cseq) + " ACK\nMax-Forwards: 70\n" +
         (answer ? std::string("Content-Type: application/sdp\nContent-Length: [len]\n\n") + testing::kSippPcmuSdp
                 : std::string("Content-Length: 0\n\n")) +
         "]]></send>\n";
}
inline const std::string kAckOfLast = CallerAck(1);

// SIPp calls the phone (its INVITE with a PCMU offer), takes the answer and acknowledges it.
inline const std::string kCallerConnects = kCallerInvite +
                                           "<recv response=\"100\" optional=\"true\"/>\n"
                                           "<recv response=\"180\" optional=\"true\"/>\n"
                                           "<recv response=\"180\" optional=\"true\"/>\n"
                                           "<recv response=\"200\" rrs=\"true\"/>\n" + kAckOfLast;

// SIPp as the caller ends its call with BYE (CSeq `cseq`) and takes the 200.
inline std::string CallerBye(int cseq) {
  return "<send retrans=\"500\"><![CDATA[\n\nBYE sip:100@[remote_ip]:[remote_port] SIP/2.0\n"
         "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n[last_From:]\n[last_To:]\n"
         "Call-ID: [call_id]\nCSeq: " + std::to_string(cseq) + " BYE\nMax-Forwards: 70\nContent-Length: 0\n\n"
         "]]></send>\n<recv response=\"200\"/>\n";
}

// SIPp as the called party takes the CANCEL, answers it 200 and the INVITE 487, and takes the ACK.
inline const std::string kUasCancelled = "<recv request=\"CANCEL\"/>\n" + testing::UasReply("200 OK", false) +
                                         testing::UasReply("487 Request Terminated", true, "CSeq: [cseq] INVITE") +
                                         "<recv request=\"ACK\"/>\n";

// SIPp answers a re-INVITE with its PCMU body and takes the ACK.
inline const std::string kReInviteAnswered =
    "<recv request=\"INVITE\"/>\n" + testing::UasSdpReply(false) + "<recv request=\"ACK\"/>\n";

// SIPp takes the phone's `method` request and keeps its From in [$phone], for CalleeRequest.
inline std::string RecvKeepingPhone(const std::string& method) {
  return "<recv request=\"" + method + "\"><action><ereg regexp=\".*\" search_in=\"hdr\" header=\"From:\" "
         "assign_to=\"phone\"/></action></recv>\n";
}

// SIPp, the called party, sends `method` with CSeq `cseq` in its dialog with the phone (whose
// From RecvKeepingPhone kept); `extra` holds complete header lines, `body` has type `type`.
inline std::string CalleeRequest(const std::string& method, int cseq, const std::string& extra = {},
                                 const std::string& type = {}, const std::string& body = {}) {
  return std::string(method == "ACK" ? "<send>" : "<send retrans=\"500\">") + "<![CDATA[\n\n" + method +
         " sip:100@[remote_ip]:[remote_port] SIP/2.0\nVia: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n"
         "From: <sip:200@[local_ip]:[local_port]>;tag=[pid]SIPpTag01[call_number]\nTo: [$phone]\n"
         "Call-ID: [call_id]\nCSeq: " + std::to_string(cseq) + " " + method + "\nMax-Forwards: 70\n" + extra +
         (type.empty() ? "Content-Length: 0\n\n" : "Content-Type: " + type + "\nContent-Length: [len]\n\n" + body) +
         "]]></send>\n";
}

using namespace corvina::testing;

class CallInterop : public PhoneFixture {
 protected:
  CallInterop() : PhoneFixture("calls") {}
  std::vector<std::vector<std::string>> Settings() const override {
    return {{"SIP", "Port", std::to_string(FreeUdpPort())},
            {"SIP", "UPNP", "0"},
            {"SIP", "RTPPortBase", "31000"},
            {"DefaultLine", "UserName", "100"},
            {"DefaultLine", "ProxyPassword", "secret"}};
  }

  std::unique_ptr<ChildProcess> StartSipp(const std::string& name, const std::string& xml, bool server,
                                          std::uint16_t port, const std::string& extra = {}) {
    return StartSippPeer(folder_.Sub("sipp-" + name), xml, port, server ? 0 : sipPort_, extra);
  }
  // A call between the phone and SIPp (`sipp_`), placed by the phone (SIPp answers) or by SIPp
  // (the phone answers); once it is connected SIPp goes on with `afterConnect`.
  void Connect(const std::string& name, bool phoneCalls, const std::string& afterConnect) {
    if (phoneCalls) {
      const std::uint16_t port = FreeUdpPort();
      sipp_ = StartSipp(name, std::string(kHead) + UasAnswers(false) + afterConnect + "</scenario>\n", true, port);
      ASSERT_EQ(phone_->Ask("dial 200@127.0.0.1:" + std::to_string(port)), "ok {\"line\":1}");
    } else {
      const std::string xml = std::string(kHead) + kCallerConnects + afterConnect + "</scenario>\n";
      sipp_ = StartSipp(name, xml, false, FreeUdpPort());
      ASSERT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000)) << SippMessages(name);
      ASSERT_EQ(phone_->Ask("answer"), "ok {\"line\":1}");
    }
    ASSERT_TRUE(phone_->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000)) << SippMessages(name);
  }
  static int ExitOf(ChildProcess& p, int timeoutMs) { return testing::ExitOf(p, timeoutMs); }
  std::string SippMessages(const std::string& name) { return ReadFile(folder_.Sub("sipp-" + name) + "/msg.txt"); }
  std::vector<SippMessage> SippTrace(const std::string& name) {
    return ReadSippTrace(folder_.Sub("sipp-" + name) + "/msg.txt");
  }

  std::unique_ptr<ChildProcess> sipp_;
};

}  // namespace corvina::interop
