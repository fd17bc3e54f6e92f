// Intercom calls on the wire, on loopback:
// - SIPp calls with "Answer-Mode: Auto" or only "Priv-Answer-Mode: auto": with no allow list the
//   phone answers 200 by itself; "Answer-Mode: Manual" (which outranks Priv-Answer-Mode) rings;
//   with `AllowAll` 0 and `Allow` = "alice@127.0.0.1", bob, alice and bob are answered and carol
//   gets 480, the refusal is logged and no missed call is counted;
// - the phone holds the Intercom button towards baresip (answering by itself): baresip hears the
//   phone's tone only while the button is held, a second press talks on the same call, and the
//   phone ends the call with BYE 25 s after the last release.
#include "tests/interop/media_interop_support.h"
#include "tests/interop/call_interop_fixture.h"

namespace corvina::interop {
namespace {

struct IntercomCase {
  const char* user;    // From: sip:USER@127.0.0.1
  const char* header;  // the answer-mode header line(s)
  int status;          // the phone's final answer; 180: it rings (and the test rejects it)
};

class IntercomInterop : public CallInterop {
 protected:
  // SIPp calls as `c.user` and expects the phone's answer without any console verb; an answered
  // call SIPp ends with BYE, a ringing one the test rejects (480).
  void Run(const IntercomCase& c, int n) {
    std::string invite = CallerInvite(true, std::string(c.header) + "\n");
    invite.replace(invite.find("\"Sipp\" <sip:sipp@"), 17, std::string("<sip:") + c.user + "@");
    std::string xml = std::string(kHead) + invite + "<recv response=\"100\" optional=\"true\"/>\n";
    if (c.status == 200) {
      xml += "<recv response=\"180\" optional=\"true\"/>\n<recv response=\"200\" rrs=\"true\"/>\n" + kAckOfLast +
             "<pause milliseconds=\"300\"/>\n" + CallerBye(2);
    } else {
      if (c.status == 180) xml += "<recv response=\"180\"/>\n";
      xml += "<recv response=\"180\" optional=\"true\"/>\n<recv response=\"480\"/>\n" + kAckOfLast;
    }
    const std::string name = c.user + std::to_string(n);
    if (c.status == 180) phone_->ClearEvents();  // an auto-answered call is announced ringing too
    auto sipp = StartSipp(name, xml + "</scenario>\n", false, FreeUdpPort());
    if (c.status == 180) {
      EXPECT_TRUE(phone_->WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000)) << SippMessages(name);
      EXPECT_EQ(phone_->Ask("reject"), "ok");
    }
    EXPECT_EQ(ExitOf(*sipp, 20000), 0) << c.user << " " << c.header << "\n" << SippMessages(name);
    EXPECT_TRUE(PollUntil([&] { return CountOf(phone_->Ask("status"), "\"state\":\"Idle\"") == 2; }, 5000));
  }
};

TEST_F(IntercomInterop, WithoutAnAllowListEitherHeaderIsAnsweredByItself) {
  const IntercomCase cases[] = {{"sipp", "Answer-Mode: Auto", 200},
                                {"sipp", "Priv-Answer-Mode: auto", 200},
                                {"sipp", "Answer-Mode: Manual\nPriv-Answer-Mode: Auto", 180}};
  for (int n = 0; n < 3; ++n) Run(cases[n], n);
}

class IntercomAllowListInterop : public IntercomInterop {
 protected:
  std::vector<std::vector<std::string>> Settings() const override {
    auto settings = IntercomInterop::Settings();
    settings.push_back({"Intercom", "AllowAll", "0"});
    settings.push_back({"Intercom", "Allow", "\"alice@127.0.0.1\", bob"});
    return settings;
  }
};

TEST_F(IntercomAllowListInterop, OnlyCallersOnTheListAreAnsweredAndTheRestRefusedWithoutAMissedCall) {
  const IntercomCase cases[] = {{"alice", "Answer-Mode: Auto", 200},
                                {"bob", "Priv-Answer-Mode: auto", 200},
                                {"carol", "Answer-Mode: Auto", 480}};
  for (int n = 0; n < 3; ++n) Run(cases[n], n);
  EXPECT_EQ(CountOf(phone_->ActivityLog(), "Rejecting intercom call because not on the allow list"), 1)
      << phone_->ActivityLog();
  EXPECT_NE(phone_->Ask("state").find("\"missedCalls\":0,"), std::string::npos);
  for (const std::string& e : phone_->Events()) EXPECT_EQ(e.find("\"event\":\"missed\""), std::string::npos) << e;
}

// The phone presses Intercom towards baresip twice (3 s, then after 3 s released 2 s more) and
// lets go; what baresip is sent and when the BYE goes are read from a capture.
TEST(IntercomBaresip, ItHearsThePhoneOnlyWhileHeldAndTheCallEnds25sAfterTheLastRelease) {
  if (!MissingTools().empty()) GTEST_SKIP() << MissingTools();
  testing::TempFolder folder("ic");
  const std::string tone = folder.Sub("tone.wav");
  ASSERT_TRUE(WriteTone(tone, 1000, 60));
  testing::PhoneUnderTest phone(folder.Sub("phone"), {{"SIP", "Port", std::to_string(testing::FreeUdpPort())},
                                                      {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
                                                      {"Settings", "Record", "wav:" + tone},
                                                      {"Settings", "UseEchoCancellation", "0"},
                                                      {"Settings", "UseAGC", "0"}});
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  Baresip peer(440, "PCMU/8000/1");
  ASSERT_TRUE(peer.WaitReady()) << peer.Log();
  const auto capture = CaptureRtpTo(folder, {&peer}, "udp dst port " + std::to_string(peer.SipPort()));
  ASSERT_TRUE(capture);
  ASSERT_EQ(phone.Ask("type " + peer.Target()), "ok");
  // Each press answers the line it talks on; [from, to] is when the button was held with the
  // call answered (the first press waits for the answer).
  std::vector<std::pair<double, double>> held;
  auto hold = [&](int ms) {
    ASSERT_EQ(phone.Ask("intercom press"), "ok {\"held\":true,\"line\":1}");
    ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000)) << peer.Log();
    const double from = EpochSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ASSERT_EQ(phone.Ask("intercom release"), "ok {\"held\":false,\"line\":null}");
    held.emplace_back(from, EpochSeconds());
  };
  hold(3000);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  hold(2000);
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 30000));
  EXPECT_EQ(phone.Quit(), 0);

  const std::string pcap = capture->Finish();
  const std::vector<RtpSeen> sent = SentTo(pcap, peer);
  constexpr double kSlack = 0.2;
  for (const auto& [from, to] : held) EXPECT_TRUE(HoldsTone(PcmuBetween(sent, from + kSlack, to), 1000, 50));
  EXPECT_EQ(MeasureTone(PcmuBetween(sent, held[0].second + kSlack, held[1].first), 1000).right, 0);
  EXPECT_EQ(MeasureTone(PcmuBetween(sent, held[1].second + kSlack, 1e10), 1000).right, 0);
  // One call (both presses answered line 1), its BYE 25 s after the last release.
  testing::ChildProcess tshark({"/usr/bin/tshark", "-r", pcap, "-d", "udp.port==" + std::to_string(peer.SipPort()) + ",sip",
                                "-Y", "sip.Method == \"BYE\"", "-T", "fields", "-e", "frame.time_epoch"},
                               {});
  std::vector<double> byes;
  std::string line;
  while (tshark.ReadLine(&line, 5000)) byes.push_back(std::stod(line));
  ASSERT_EQ(byes.size(), 1u);
  const double bye = byes[0];
  RecordProperty("bye_after_release_ms", static_cast<int>((bye - held[1].second) * 1000));
  EXPECT_NEAR(bye - held[1].second, 25.0, 1.0);
}

}  // namespace
}  // namespace corvina::interop
