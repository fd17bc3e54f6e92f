// Calls between the phone and baresip with audio both ways. The phone's Record device is a WAV
// file of a 1000 Hz tone made by sox, its PlayDevice a WAV file, echo suppression and gain
// control off; baresip sends a 440 Hz sine and records what it decodes. Each recording must hold
// the other side's tone, its dominant frequency within 2 %. The cases: the phone calls baresip
// in PCMU and in GSM; baresip holds such a call and takes it back; the phone does; baresip calls
// the phone; and calls both ways through Kamailio, where both ends register with digest (qop) and
// each new INVITE is challenged (407) before it is relayed to the callee's registered contact.
// Whichever end hangs up, both end idle. With two calls, pressing line 2 holds line 1 and the
// tone goes to line 2 alone.
// baresip 1.0.0 rebuilds its receiving pipeline without its filters on any re-INVITE, so its
// recording ends at the first one: what it is sent after that is read from a capture of the RTP
// to its ports (as root; skipped otherwise).
#include "tests/interop/call_audio_support.h"

namespace corvina::interop {
namespace {

enum class Holder { kNobody, kBaresip, kPhone };

struct AudioCase {
  const char* name;
  const char* codec;     // as baresip names it
  const char* quality;   // the phone's Quality: below 50 prefers GSM
  bool viaKamailio;      // both register there; it challenges and relays the INVITE
  bool baresipCalls;     // else the phone calls
  Holder holder;         // who holds the call and takes it back
  bool baresipHangsUp;   // else the phone hangs up
};

void PrintTo(const AudioCase& c, std::ostream* out) { *out << c.name; }

// After baresip's hold and resume, with the phone's recording standing at `heldAt` and
// `resumedAt` samples then: quiet while held (once the last held packets have played out), its
// tone back after the resume. baresip itself records only until the hold (its decoder restarts
// without the recorder), but its bit rates show the phone's audio back after the resume.
void ExpectQuietWhileHeldAndToneBack(const std::vector<std::int32_t>& ours, std::size_t heldAt, std::size_t resumedAt,
                                     const std::string& baresipLog) {
  constexpr std::size_t kSettle = 4000;  // half a second
  ASSERT_LT(heldAt + kSettle, resumedAt);
  ASSERT_LT(resumedAt + kSettle, ours.size());
  const auto at = [&](std::size_t sample) { return ours.begin() + static_cast<long>(sample); };
  const int loudWhileHeld = MeasureTone({at(heldAt + kSettle), at(resumedAt)}, kBaresipTone).loud;
  ::testing::Test::RecordProperty("loud_windows_while_held", loudWhileHeld);
  EXPECT_LE(loudWhileHeld, 2);
  EXPECT_TRUE(HoldsTone({at(resumedAt + kSettle), ours.end()}, kBaresipTone, 50));
  const std::size_t resumed = baresipLog.find("call: resume");
  ASSERT_NE(resumed, std::string::npos);
  EXPECT_TRUE(std::regex_search(baresipLog.substr(resumed), std::regex("audio=[1-9][0-9]*/[1-9][0-9]* ")))
      << baresipLog.substr(resumed);
}

class CallAudio : public ::testing::TestWithParam<AudioCase> {};

TEST_P(CallAudio, BothWays) {
  const AudioCase c = GetParam();
  for (const char* tool : {"/usr/bin/baresip", "/usr/bin/sox", c.viaKamailio ? "/usr/sbin/kamailio" : "/bin/sh"}) {
    if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing";
  }
  if (c.holder == Holder::kPhone && !MissingTools().empty()) GTEST_SKIP() << MissingTools();
  // A short name: baresip cuts long recording paths, and the folder carries the test name.
  testing::TempFolder folder("ca");
  const std::string heard = folder.Sub("heard.wav");
  const std::uint16_t phonePort = testing::FreeUdpPort();
  std::vector<std::vector<std::string>> settings = AudioPhoneSettings(folder, phonePort, c.quality);
  ASSERT_FALSE(settings.empty());
  std::unique_ptr<KamailioRegistrar> kamailio;
  BaresipAccount account;
  std::string phoneAddress = "sip:100@127.0.0.1:" + std::to_string(phonePort);
  if (c.viaKamailio) {
    const std::uint16_t proxyPort = testing::FreeUdpPort();
    kamailio = std::make_unique<KamailioRegistrar>(folder.Sub("kam"), proxyPort, "100", "Phone-Pass", "proxy.cfg");
    kamailio->AddUser("200", "Peer-Pass");
    ASSERT_TRUE(kamailio->Start()) << kamailio->Log();
    settings.push_back({"DefaultLine", "Proxy", "127.0.0.1:" + std::to_string(proxyPort)});
    settings.push_back({"DefaultLine", "ProxyPassword", "Phone-Pass"});
    account = {"200", proxyPort, "Peer-Pass"};
    phoneAddress = "sip:100@127.0.0.1:" + std::to_string(proxyPort);
  }
  testing::PhoneUnderTest phone(folder.Sub("phone"), settings);
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  if (c.viaKamailio) {
    ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"registration\"", "\"registered\":true"}, 10000)) << kamailio->Log();
  }
  Baresip peer(static_cast<int>(kBaresipTone), c.codec, c.baresipCalls ? phoneAddress : "", account);
  ASSERT_TRUE(peer.WaitReady()) << peer.Log();
  std::unique_ptr<Capture> capture;
  if (c.holder == Holder::kPhone) {
    capture = CaptureRtpTo(folder, {&peer});
    ASSERT_TRUE(capture);
  }
  if (c.baresipCalls) {
    ASSERT_TRUE(phone.WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000)) << peer.Log();
    EXPECT_EQ(phone.Ask("answer"), "ok {\"line\":1}");
  } else {
    if (c.viaKamailio) {
      ASSERT_TRUE(PollUntil([&] { return kamailio->UlDump().find("AoR: 200") != std::string::npos; }, 10000))
          << kamailio->UlDump() << peer.Log();
    }
    ASSERT_EQ(phone.Ask(c.viaKamailio ? "dial 200" : "dial " + peer.Target()), "ok {\"line\":1}");
  }
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000))
      << peer.Log() << (kamailio ? kamailio->Log() : "");
  const double connectedAt = EpochSeconds();

  // One end holds the call after 2 s and takes it back 1.5 s later; the call stays.
  std::size_t heldAt = 0;     // where the phone's recording stood at the hold
  std::size_t resumedAt = 0;  // and at the resume
  double holdPressed = 0;     // the phone's hold: pressed, applied, resume pressed, resumed (epoch s)
  double holdApplied = 0;
  double resumePressed = 0;
  double resumed = 0;
  if (c.holder != Holder::kNobody) std::this_thread::sleep_for(std::chrono::seconds(2));
  if (c.holder == Holder::kBaresip) {
    ASSERT_TRUE(peer.Command("hold")) << peer.Log();
    heldAt = ReadWav(heard).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    resumedAt = ReadWav(heard).size();
    ASSERT_TRUE(peer.Command("resume")) << peer.Log();
  } else if (c.holder == Holder::kPhone) {
    holdPressed = EpochSeconds();
    ASSERT_EQ(phone.Ask("hold"), "ok");
    ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"hold\"", "\"held\":true"}, 5000)) << peer.Log();
    holdApplied = EpochSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    resumePressed = EpochSeconds();
    ASSERT_EQ(phone.Ask("hold"), "ok");
    ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"hold\"", "\"held\":false"}, 5000)) << peer.Log();
    resumed = EpochSeconds();
  }
  if (c.holder != Holder::kNobody) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_FALSE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 200)) << peer.Log();
    EXPECT_NE(phone.Ask("status").find("{\"line\":1,\"state\":\"Connected\""), std::string::npos);
  } else {
    std::this_thread::sleep_for(std::chrono::seconds(5));
  }
  // The call's part of the phone's recording: a hang-up from baresip has the phone play its busy
  // tone, which starts the PlayDevice file anew.
  const std::string call = folder.Sub("call.wav");
  ASSERT_TRUE(std::filesystem::copy_file(heard, call));
  if (c.baresipHangsUp) {
    EXPECT_TRUE(peer.Command("hangup")) << peer.Log();
  } else {
    EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":1}");
  }
  EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000)) << peer.Log();
  EXPECT_TRUE(PollUntil([&] { return peer.Log().find(" terminated (duration") != std::string::npos; }, 5000))
      << peer.Log();
  EXPECT_EQ(phone.Quit(), 0);

  const std::vector<std::int32_t> ours = ReadWav(call);
  EXPECT_TRUE(HoldsTone(ours, kBaresipTone));
  if (c.holder == Holder::kBaresip) ExpectQuietWhileHeldAndToneBack(ours, heldAt, resumedAt, peer.Log());
  if (c.holder == Holder::kPhone) {
    // What baresip was sent: the tone, none of it while held, the tone again once resumed.
    const std::vector<RtpSeen> sent = SentTo(capture->Finish(), peer);
    const std::string seen = std::to_string(sent.size()) + " RTP datagrams captured";
    EXPECT_TRUE(HoldsTone(PcmuBetween(sent, 0, holdPressed), kPhoneTone, 50)) << seen;
    EXPECT_EQ(MeasureTone(PcmuBetween(sent, holdApplied, resumePressed), kPhoneTone).right, 0);
    EXPECT_TRUE(HoldsTone(PcmuBetween(sent, resumed, EpochSeconds()), kPhoneTone, 50)) << seen;
  }
  // baresip completes its recording when it has taken the BYE.
  std::string decoded;
  std::vector<std::int32_t> theirs;
  PollUntil([&] {
    decoded = peer.DecodedFile();
    theirs = decoded.empty() ? std::vector<std::int32_t>{} : ReadWav(decoded);
    return !theirs.empty();
  }, 5000);
  // The phone plays its hold music from the moment hold is pressed, and baresip records until it
  // has taken the re-INVITE: on a loaded machine that is a few hundred ms of music. What came
  // before the press is the call.
  if (c.holder == Holder::kPhone) {
    const auto beforeHold = static_cast<std::size_t>(std::max(0.0, holdPressed - connectedAt) * 8000);
    if (theirs.size() > beforeHold) theirs.resize(beforeHold);
  }
  EXPECT_TRUE(HoldsTone(theirs, kPhoneTone, c.holder != Holder::kNobody ? 50 : 100))
      << decoded << peer.Log() << phone.ActivityLog();
  if (c.viaKamailio) {
    const std::string log = kamailio->Log();
    EXPECT_EQ(testing::CountOf(log, "CHALLENGE method=INVITE"), 1) << log;
    EXPECT_EQ(testing::CountOf(log, "RELAYED method=INVITE"), 1) << log;
  }
}

constexpr Holder kNobody = Holder::kNobody;

INSTANTIATE_TEST_SUITE_P(
    Calls, CallAudio,
    ::testing::Values(AudioCase{"PCMU", "PCMU/8000/1", "50", false, false, kNobody, false},
                      AudioCase{"GSM", "GSM/8000/1", "40", false, false, kNobody, false},
                      AudioCase{"HoldResume", "PCMU/8000/1", "50", false, false, Holder::kBaresip, true},
                      AudioCase{"PhoneHoldsAndResumes", "PCMU/8000/1", "50", false, false, Holder::kPhone, false},
                      AudioCase{"BaresipCalls", "PCMU/8000/1", "50", false, true, kNobody, true},
                      AudioCase{"PhoneCallsViaKamailio", "PCMU/8000/1", "50", true, false, kNobody, true},
                      AudioCase{"BaresipCallsViaKamailio", "GSM/8000/1", "40", true, true, kNobody, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The phone calls one baresip; a second calls the phone, whose line 2 rings; pressing line 2
// holds line 1 and answers: from then on the tone goes to the second alone.
TEST(CallAudioLines, PressingLine2HoldsLine1AndTheToneGoesToLine2Alone) {
  if (!MissingTools().empty() || access("/usr/bin/sox", X_OK) != 0) GTEST_SKIP() << MissingTools() << " (or sox)";
  testing::TempFolder folder("cl");
  const std::uint16_t phonePort = testing::FreeUdpPort();
  const std::vector<std::vector<std::string>> settings = AudioPhoneSettings(folder, phonePort, "50");
  ASSERT_FALSE(settings.empty());
  testing::PhoneUnderTest phone(folder.Sub("phone"), settings);
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  Baresip first(static_cast<int>(kBaresipTone), "PCMU/8000/1");
  Baresip second(static_cast<int>(kBaresipTone), "PCMU/8000/1");
  ASSERT_TRUE(first.WaitReady() && second.WaitReady()) << first.Log() << second.Log();
  const std::unique_ptr<Capture> capture = CaptureRtpTo(folder, {&first, &second});
  ASSERT_TRUE(capture);
  ASSERT_EQ(phone.Ask("dial " + first.Target()), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"line\":1", "\"state\":\"Connected\""}, 10000))
      << first.Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(second.Command("dial", "sip:100@127.0.0.1:" + std::to_string(phonePort))) << second.Log();
  ASSERT_TRUE(phone.WaitForEvent({"\"line\":2", "\"state\":\"IncomingRinging\""}, 10000)) << second.Log();
  const double pressed = EpochSeconds();
  EXPECT_EQ(phone.Ask("line 2"), "ok");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"hold\"", "\"line\":1", "\"held\":true"}, 5000)) << first.Log();
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"line\":2", "\"state\":\"Connected\""}, 5000))
      << second.Log();
  const double switched = EpochSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double end = EpochSeconds();
  const std::string state = phone.Ask("state");
  EXPECT_NE(state.find("\"currentLine\":2"), std::string::npos) << state;
  EXPECT_NE(state.find("{\"line\":1,\"state\":\"Connected\""), std::string::npos) << state;
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":2}");
  EXPECT_EQ(phone.Quit(), 0);  // which ends the held call too

  const std::string pcap = capture->Finish();
  const std::vector<RtpSeen> toFirst = SentTo(pcap, first);
  EXPECT_TRUE(HoldsTone(PcmuBetween(toFirst, 0, pressed), kPhoneTone, 50));
  EXPECT_EQ(MeasureTone(PcmuBetween(toFirst, switched, end), kPhoneTone).right, 0) << "line 1 is held";
  EXPECT_TRUE(HoldsTone(PcmuBetween(SentTo(pcap, second), switched, end), kPhoneTone, 50));
}

}  // namespace
}  // namespace corvina::interop
