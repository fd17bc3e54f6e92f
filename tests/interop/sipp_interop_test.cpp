// SIPp against the running phone (no lines yet, no dialogs), on loopback:
// - requests outside any dialog get the engine's answers: OPTIONS and INVITE 404, BYE and
//   CANCEL 200, PUBLISH, REGISTER and SUBSCRIBE 501, REFER, INFO and NOTIFY 481, an INVITE whose
//   Replaces names no dialog 481, and ACK nothing;
// - a retransmitted request is answered again with the very same bytes;
// - garbage datagrams get no answer and do no harm;
// - with DoNotDisturb set, an INVITE gets 480.
#include <gtest/gtest.h>

#include "tests/support/phone_fixture.h"
#include "tests/support/sipp_peer.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;

constexpr std::uint32_t kLoopback = 0x7F000001;

// A one-request scenario: send `method` and expect `status` (0: expect nothing for 1 s).
std::string Scenario(const std::string& method, const std::string& extra, int status) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<scenario name=\"" + method + "\">\n";
  xml += "<send><![CDATA[\n\n" + method +
         " sip:100@[remote_ip]:[remote_port] SIP/2.0\n"
         "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n"
         "From: <sip:sipp@[local_ip]:[local_port]>;tag=[pid]SIPpTag[call_number]\n"
         "To: <sip:100@[remote_ip]:[remote_port]>\n"
         "Call-ID: [call_id]\n"
         "CSeq: 1 " + method + "\n"
         "Max-Forwards: 70\n" + extra +
         "Content-Length: 0\n\n]]></send>\n";
  if (status == 0) {
    xml += "<pause milliseconds=\"1000\"/>\n";
  } else {
    xml += "<recv response=\"" + std::to_string(status) + "\" timeout=\"5000\"/>\n";
    if (method == "INVITE") {
      xml += "<send><![CDATA[\n\nACK sip:100@[remote_ip]:[remote_port] SIP/2.0\n"
             "[last_Via:]\n[last_From:]\n[last_To:]\nCall-ID: [call_id]\nCSeq: 1 ACK\nMax-Forwards: 70\n"
             "Content-Length: 0\n\n]]></send>\n";
    }
  }
  return xml + "</scenario>\n";
}

class SippInterop : public PhoneFixture {
 protected:
  SippInterop() : PhoneFixture("sipp") {}
  std::vector<std::vector<std::string>> Settings() const override {
    return {{"SIP", "Port", std::to_string(FreeUdpPort())}};
  }

  // Runs one SIPp scenario to the phone; its exit status (0: the call succeeded).
  int RunSipp(const std::string& name, const std::string& xml) {
    auto sipp = StartSippPeer(folder_.Sub("sipp-" + name), xml, FreeUdpPort(), sipPort_, " -timeout 15s");
    return ExitOf(*sipp, 20000);
  }
};

TEST_F(SippInterop, RequestsOutsideDialogsGetTheEnginesAnswers) {
  struct Case {
    std::string method;
    std::string extra;
    int status;
  } cases[] = {
      {"OPTIONS", "", 404},
      {"BYE", "", 200},
      {"CANCEL", "", 200},
      {"PUBLISH", "Event: presence\n", 501},
      {"REGISTER", "Contact: <sip:sipp@[local_ip]:[local_port]>\n", 501},
      {"SUBSCRIBE", "Event: presence\n", 501},
      {"REFER", "Refer-To: <sip:200@127.0.0.1>\n", 481},
      {"INFO", "", 481},
      {"NOTIFY", "Event: refer\n", 481},
      {"INVITE", "Replaces: nosuchcall@127.0.0.1;to-tag=1;from-tag=2\n", 481},
      {"INVITE", "", 404},
      {"ACK", "", 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(RunSipp(c.method + std::to_string(n++), Scenario(c.method, c.extra, c.status)), 0)
        << c.method << " expecting " << c.status;
  }
}

TEST_F(SippInterop, RetransmissionIsAnsweredWithTheSameBytesAndGarbageDoesNoHarm) {
  platform::UdpSocket peer;
  ASSERT_TRUE(peer.Bind({kLoopback, 0}).Ok());
  const std::string invite =
      "INVITE sip:nobody@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer.Local()->port) +
      ";branch=z9hG4bKretrans\r\nFrom: <sip:a@127.0.0.1>;tag=77\r\nTo: <sip:nobody@127.0.0.1>\r\n"
      "Call-ID: retrans-1@127.0.0.1\r\nCSeq: 9 INVITE\r\nContent-Length: 0\r\n\r\n";
  std::uint8_t buffer[4096];
  auto exchange = [&](std::string_view datagram, int waitMs) {
    peer.SendTo({kLoopback, sipPort_}, datagram);
    platform::ReceiveResult r = peer.ReceiveFrom(buffer, waitMs);
    return r.status == platform::ReceiveStatus::kDatagram ? std::string(reinterpret_cast<char*>(buffer), r.size)
                                                          : std::string();
  };
  const std::string first = exchange(invite, 5000);
  ASSERT_TRUE(first.starts_with("SIP/2.0 404 Not Found\r\n")) << first;
  EXPECT_EQ(exchange(invite, 5000), first);

  for (std::string_view junk : {std::string_view("\0\0\0\0", 4), std::string_view("GET / HTTP/1.0\r\n\r\n"),
                                std::string_view("SIP/2.0\r\n"), std::string_view("\xff\xfe\x00garbage", 10),
                                std::string_view("INVITE sip:x SIP/2.0\r\nContent-Length: 99999\r\n\r\n")}) {
    EXPECT_EQ(exchange(junk, 300), "") << "no answer to garbage";
  }
  EXPECT_EQ(RunSipp("after-garbage", Scenario("OPTIONS", "", 404)), 0) << "still answering";
}

class SippDoNotDisturbInterop : public SippInterop {
 protected:
  std::vector<std::vector<std::string>> Settings() const override {
    return {{"SIP", "Port", std::to_string(FreeUdpPort())}, {"Settings", "DoNotDisturb", "1"}};
  }
};

TEST_F(SippDoNotDisturbInterop, InviteIsTurnedAwayWithTemporarilyUnavailable) {
  EXPECT_EQ(RunSipp("dnd", Scenario("INVITE", "", 480)), 0);
  EXPECT_NE(phone_->ActivityLog().find("DND is on - reject incoming call from: <sip:sipp@127.0.0.1:"),
            std::string::npos)
      << phone_->ActivityLog();
}

}  // namespace
}  // namespace corvina::interop
