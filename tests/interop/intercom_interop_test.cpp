// Intercom calls on the wire, on loopback:
// - SIPp calls with "Answer-Mode: Auto" or only "Priv-Answer-Mode: auto": with no allow list the
//   phone answers 200 by itself; "Answer-Mode: Manual" (which outranks Priv-Answer-Mode) rings;
//   with `AllowAll` 0 and `Allow` = "alice@127.0.0.1", bob, alice and bob are answered and carol
//   gets 480, the refusal is logged and no missed call is counted;
// - the phone holds the Intercom button towards baresip (answering by itself): baresip hears the
//   phone's tone only while the button is held, a second press talks on the same call, and the
//   phone ends the call with BYE 25 s after the last release;
// - two phones: one holds the button towards the other (answering by itself), which then talks
//   back on the same call with an empty dial box; each hears the other only while it holds.
#include "tests/interop/media_interop_support.h"
#include "tests/interop/call_interop_fixture.h"
#include "tests/support/phone_under_test.h"

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

// A phone with a tone of `hz` as its microphone and `folder`/NAME.wav as its speaker.
std::unique_ptr<testing::PhoneUnderTest> TonePhone(const testing::TempFolder& folder, const std::string& name, double hz,
                                                   std::uint16_t port) {
  const std::string tone = folder.Sub(name + "-tone.wav");
  if (!WriteTone(tone, hz, 60)) return nullptr;
  auto phone = std::make_unique<testing::PhoneUnderTest>(
      folder.Sub(name), std::vector<std::vector<std::string>>{{"SIP", "Port", std::to_string(port)},
                                                              {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
                                                              {"DefaultLine", "UserName", name},
                                                              {"Settings", "Record", "wav:" + tone},
                                                              {"Settings", "PlayDevice", "wav:" + folder.Sub(name + ".wav")},
                                                              {"Settings", "UseEchoCancellation", "0"},
                                                              {"Settings", "UseAGC", "0"},
                                                              {"Settings", "SipTraceOn", "1"}});
  phone->Start();
  return phone->WaitForSipPort(10000) == port ? std::move(phone) : nullptr;
}

// Loud 20 ms windows of `heard` (all on `hz`), as seconds, against the span the far end held.
void ExpectHeardFor(const std::vector<std::int32_t>& heard, double hz, double heldSeconds, const std::string& what) {
  const ToneWindows tone = MeasureTone(heard, hz);
  ::testing::Test::RecordProperty(what + "_loud_windows", tone.loud);
  ::testing::Test::RecordProperty(what + "_held_windows", static_cast<int>(heldSeconds * 50));
  EXPECT_TRUE(HoldsTone(heard, hz, 50)) << what;
  EXPECT_NEAR(tone.loud * 0.02, heldSeconds, 0.2) << what << ": " << tone.loud << " loud windows";
}

// alice holds the button towards bob for 3 s; bob's phone answers by itself and plays what it
// receives while its speaker is free; bob then holds his button with an empty dial box for 2 s.
// A speaker file is made anew whenever the speaker opens for another use (the line while held,
// the intercom buffer while not), so each file is read before the next change.
TEST(IntercomPhones, EachHearsTheOtherOnlyWhileHoldingAndTheCallEndsByItself) {
  testing::TempFolder folder("ip");
  const std::uint16_t bobPort = testing::FreeUdpPort();
  auto alice = TonePhone(folder, "alice", 700, testing::FreeUdpPort());
  auto bob = TonePhone(folder, "bob", 1300, bobPort);
  ASSERT_TRUE(alice && bob);
  const std::string aliceHeard = folder.Sub("alice.wav"), bobHeard = folder.Sub("bob.wav");
  ASSERT_EQ(alice->Ask("type sip:bob@127.0.0.1:" + std::to_string(bobPort)), "ok");
  // [pressed with the call up, released] for each phone (epoch seconds).
  auto hold = [](testing::PhoneUnderTest& phone, int ms, std::vector<std::int32_t>* heardAtEnd, const std::string& file) {
    EXPECT_EQ(phone.Ask("intercom press"), "ok {\"held\":true,\"line\":1}");
    EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000));
    const double from = EpochSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (heardAtEnd != nullptr) *heardAtEnd = ReadWav(file);
    EXPECT_EQ(phone.Ask("intercom release"), "ok {\"held\":false,\"line\":null}");
    return std::pair(from, EpochSeconds());
  };
  std::vector<std::int32_t> aliceWhileHolding;
  const auto [aliceFrom, aliceTo] = hold(*alice, 3000, &aliceWhileHolding, aliceHeard);
  ASSERT_TRUE(bob->WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // bob's buffer plays out
  const std::vector<std::int32_t> bobHeardAlice = ReadWav(bobHeard);
  const std::vector<std::int32_t> aliceBeforeBob = ReadWav(aliceHeard);
  const auto [bobFrom, bobTo] = hold(*bob, 2000, nullptr, {});
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const std::vector<std::int32_t> aliceHeardBob = ReadWav(aliceHeard);

  ExpectHeardFor(bobHeardAlice, 700, aliceTo - aliceFrom, "bob_heard_alice");
  EXPECT_EQ(MeasureTone(aliceWhileHolding, 1300).loud, 0);  // bob silent until he holds
  EXPECT_EQ(MeasureTone(aliceBeforeBob, 1300).loud, 0);
  ExpectHeardFor(aliceHeardBob, 1300, bobTo - bobFrom, "alice_heard_bob");

  // The end of the call: when each phone saw its line idle, and which one sent the BYE.
  alice->ClearEvents();
  bob->ClearEvents();
  double aliceIdle = 0, bobIdle = 0;
  const std::vector<std::string> idle = {"\"event\":\"line\"", "\"state\":\"Idle\""};
  PollUntil([&] {
    if (aliceIdle == 0 && alice->WaitForEvent(idle, 50)) aliceIdle = EpochSeconds();
    if (bobIdle == 0 && bob->WaitForEvent(idle, 50)) bobIdle = EpochSeconds();
    return aliceIdle > 0 && bobIdle > 0;
  }, 35000);
  ASSERT_GT(aliceIdle * bobIdle, 0) << alice->ActivityLog() << bob->ActivityLog();
  // Each phone counts inactivity from its own last release, and hearing bob's reply does not
  // restart the timer of the call alice placed. So alice's timer, armed 3.5 s before bob's,
  // ends the call: her BYE, 25 s after her release.
  const std::string sentBye = ">\r\nBYE sip:";
  const int aliceByes = testing::CountOf(alice->SipTrace(), sentBye), bobByes = testing::CountOf(bob->SipTrace(), sentBye);
  const double ended = std::min(aliceIdle, bobIdle);
  RecordProperty("idle_after_alice_release_ms", static_cast<int>((ended - aliceTo) * 1000));
  RecordProperty("idle_after_bob_release_ms", static_cast<int>((ended - bobTo) * 1000));
  EXPECT_EQ(aliceByes, 1);
  EXPECT_EQ(bobByes, 0);
  EXPECT_NEAR(ended - aliceTo, 25.0, 1.0);
  EXPECT_LT(std::abs(aliceIdle - bobIdle), 1.0);
  EXPECT_EQ(alice->Quit(), 0);
  EXPECT_EQ(bob->Quit(), 0);
}

}  // namespace
}  // namespace corvina::interop
