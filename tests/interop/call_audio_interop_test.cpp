// Calls between the phone and baresip with audio both ways. The phone's Record device is a WAV
// file of a 1000 Hz tone made by sox, its PlayDevice a WAV file, echo suppression and gain
// control off; baresip sends a 440 Hz sine and records what it decodes. Each recording must hold
// the other side's tone, its dominant frequency within 2 %. The cases: the phone calls baresip
// in PCMU and in GSM; baresip holds such a call and takes it back; the phone does; baresip calls
// the phone; and calls both ways through Kamailio, where both ends register with digest (qop) and
// each new INVITE is challenged (407) before it is relayed to the callee's registered contact.
// Whichever end hangs up, both end idle. With two calls, pressing line 2 holds line 1 and the
// tone goes to line 2 alone. Transfers: the phone's blind transfer of one baresip to another
// leaves those two talking to each other and the phone idle; a baresip that transfers the phone
// to a third has the phone hear the third's tone. `transfer attended` between two calls through
// Kamailio on different accounts joins them: a two-leg bridge runs, RTP flows between the two
// baresips directly, a baresip's hold reaches the other and one hang-up ends both. Between three
// phones, the attended transfer's target takes the INVITE with Replaces, ends its call with the
// transferor and talks to the transferee.
// baresip 1.0.0 rebuilds its receiving pipeline without its filters on any re-INVITE, so its
// recording ends at the first one: what it is sent after that is read from a capture of the RTP
// to its ports (as root; skipped otherwise). Recordings: to a WAV file (started by `record` or
// `Auto`, with baresip or a SIPp peer that sends no RTP, or cut by killing the phone) and over
// the Orrin link to corvina-orrin-server and to servers that fail.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/interop/kamailio_registrar.h"
#include "tests/interop/media_interop_support.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/raw_tcp.h"
#include "tests/support/sipp_peer.h"

namespace corvina::interop {
namespace {

constexpr double kPhoneTone = 1000;
constexpr double kBaresipTone = 440;

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

// The phone's settings for an audio call on SIP port `phonePort`: its microphone a tone from sox
// at half of full scale (made here; no settings when sox fails), its speaker heard.wav, both in
// `folder`; echo suppression and gain control off.
std::vector<std::vector<std::string>> AudioPhoneSettings(const testing::TempFolder& folder, std::uint16_t phonePort,
                                                         const std::string& quality) {
  const std::string tone = folder.Sub("tone.wav");
  testing::ChildProcess sox({"/usr/bin/sox", "-n", "-r", "8000", "-c", "1", "-b", "16", tone, "synth", "20", "sine",
                             std::to_string(static_cast<int>(kPhoneTone)), "vol", "0.5"},
                            {});
  if (sox.Wait(10000) != 0) return {};
  return {{"SIP", "Port", std::to_string(phonePort)},
          {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
          {"DefaultLine", "UserName", "100"},
          {"Settings", "Record", "wav:" + tone},
          {"Settings", "PlayDevice", "wav:" + folder.Sub("heard.wav")},
          {"Settings", "UseEchoCancellation", "0"},
          {"Settings", "UseAGC", "0"},
          {"SIP", "Quality", quality}};
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
    EXPECT_TRUE(HoldsTone(PcmuBetween(sent, 0, holdPressed), kPhoneTone, 50));
    EXPECT_EQ(MeasureTone(PcmuBetween(sent, holdApplied, resumePressed), kPhoneTone).right, 0);
    EXPECT_TRUE(HoldsTone(PcmuBetween(sent, resumed, EpochSeconds()), kPhoneTone, 50));
  }
  // baresip completes its recording when it has taken the BYE.
  std::string decoded;
  std::vector<std::int32_t> theirs;
  PollUntil([&] {
    decoded = peer.DecodedFile();
    theirs = decoded.empty() ? std::vector<std::int32_t>{} : ReadWav(decoded);
    return !theirs.empty();
  }, 5000);
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

// The phone (WAV devices, in `folder`) and two baresip peers sending 440 and 660 Hz; the phone
// has called the first and the call is connected.
struct TransferCall {
  explicit TransferCall(const testing::TempFolder& folder) : phone(folder.Sub("phone"), Settings(folder)) {}
  static std::vector<std::vector<std::string>> Settings(const testing::TempFolder& folder) {
    std::vector<std::vector<std::string>> settings = AudioPhoneSettings(folder, testing::FreeUdpPort(), "50");
    settings.push_back({"Settings", "SipTraceOn", "1"});
    return settings;
  }
  void Connect() {
    phone.Start();
    ASSERT_NE(phone.WaitForSipPort(10000), 0);
    ASSERT_TRUE(first.WaitReady() && second.WaitReady()) << first.Log() << second.Log();
    ASSERT_EQ(phone.Ask("dial " + first.Target()), "ok {\"line\":1}");
    ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000)) << first.Log();
  }
  testing::PhoneUnderTest phone;
  Baresip first{static_cast<int>(kBaresipTone), "PCMU/8000/1"};
  Baresip second{660, "PCMU/8000/1"};
};

// The RTP `pcap` holds from `from` to `to` after `since` (seconds since the epoch).
std::vector<RtpSeen> RtpBetween(const std::string& pcap, const Baresip& from, const Baresip& to, double since) {
  std::vector<RtpSeen> out;
  for (RtpSeen& p : SentTo(pcap, to)) {
    if (p.time >= since && p.srcPort >= from.FirstRtpPort() && p.srcPort < from.FirstRtpPort() + Baresip::kRtpPorts) {
      out.push_back(std::move(p));
    }
  }
  return out;
}

TEST(CallAudioTransfer, BlindTransferLeavesTheTwoPeersTalkingAndThePhoneIdle) {
  if (!MissingTools().empty() || access("/usr/bin/sox", X_OK) != 0) GTEST_SKIP() << MissingTools() << " (or sox)";
  testing::TempFolder folder("tb");
  TransferCall call(folder);
  const std::unique_ptr<Capture> capture = CaptureRtpTo(folder, {&call.first, &call.second});
  ASSERT_TRUE(capture);
  call.Connect();
  if (::testing::Test::HasFatalFailure()) return;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double transferred = EpochSeconds();
  EXPECT_EQ(call.phone.Ask("transfer blind " + call.second.Target()), "ok {\"line\":1}");
  ASSERT_TRUE(call.phone.WaitForEvent({"\"event\":\"transfer\"", "\"kind\":\"blind\"", "\"result\":\"referred\""},
                                      10000))
      << call.first.Log() << call.phone.ActivityLog();
  ASSERT_TRUE(call.phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const std::string state = call.phone.Ask("state");
  EXPECT_EQ(testing::CountOf(state, "\"state\":\"Idle\""), 2) << state;
  EXPECT_NE(state.find("\"currentLine\":0"), std::string::npos) << state;
  const std::string pcap = capture->Finish();
  EXPECT_TRUE(call.first.Command("hangup")) << call.first.Log();
  EXPECT_EQ(call.phone.Quit(), 0);
  EXPECT_TRUE(HoldsTone(PcmuBetween(RtpBetween(pcap, call.first, call.second, transferred), 0, 1e10), kBaresipTone, 50))
      << call.second.Log();
  EXPECT_TRUE(HoldsTone(PcmuBetween(RtpBetween(pcap, call.second, call.first, transferred), 0, 1e10), 660, 50))
      << call.first.Log();
}

TEST(CallAudioTransfer, APeerTransfersThePhoneWhichThenHearsTheTarget) {
  for (const char* tool : {"/usr/bin/baresip", "/usr/bin/sox"}) {
    if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing";
  }
  testing::TempFolder folder("tt");
  TransferCall call(folder);
  call.Connect();
  if (::testing::Test::HasFatalFailure()) return;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_TRUE(call.first.Command("transfer", call.second.Target())) << call.first.Log();
  ASSERT_TRUE(call.phone.WaitForEvent(
      {"\"event\":\"transfer\"", "\"kind\":\"transferee\"", "\"result\":\"replaced\""}, 10000))
      << call.first.Log() << call.second.Log() << call.phone.ActivityLog();
  const std::size_t replacedAt = ReadWav(folder.Sub("heard.wav")).size();
  EXPECT_TRUE(PollUntil([&] { return call.first.Log().find(" terminated (duration") != std::string::npos; }, 5000))
      << call.first.Log();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const std::vector<std::int32_t> heard = ReadWav(folder.Sub("heard.wav"));
  EXPECT_NE(call.phone.Ask("status").find("{\"line\":1,\"state\":\"Connected\""), std::string::npos);
  EXPECT_EQ(call.phone.Ask("hangup"), "ok {\"line\":1}");
  EXPECT_TRUE(PollUntil([&] { return call.second.Log().find(" terminated (duration") != std::string::npos; }, 5000))
      << call.second.Log();
  EXPECT_EQ(call.phone.Quit(), 0);
  // In order: the REFER accepted, the target called, the success reported in a NOTIFY.
  const std::string trace = call.phone.SipTrace();
  std::size_t at = 0;
  const std::vector<std::string> steps = {"SIP/2.0 202 Accepted", "INVITE " + call.second.Target() + " SIP/2.0",
                                          "NOTIFY ", "Event: refer", "Content-Type: message/sipfrag",
                                          "\r\n\r\nSIP/2.0 200 OK"};
  for (const std::string& step : steps) {
    at = trace.find(step, at);
    ASSERT_NE(at, std::string::npos) << step << "\n" << trace;
  }
  ASSERT_GT(heard.size(), replacedAt + 4000);
  EXPECT_TRUE(HoldsTone({heard.begin() + static_cast<long>(replacedAt) + 4000, heard.end()}, 660, 50));
}

TEST(CallAudioTransfer, AttendedTransferAcrossAccountsBridgesTheTwoPeers) {
  for (const char* tool : {"/usr/bin/baresip", "/usr/bin/sox", "/usr/sbin/kamailio"}) {
    if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing";
  }
  if (!MissingTools().empty()) GTEST_SKIP() << MissingTools();
  testing::TempFolder folder("ta");
  const std::uint16_t proxyPort = testing::FreeUdpPort();
  KamailioRegistrar kamailio(folder.Sub("kam"), proxyPort, "100", "Pass-1", "proxy.cfg");
  for (const char* user : {"101", "200", "201"}) kamailio.AddUser(user, "Pass-2");
  ASSERT_TRUE(kamailio.Start()) << kamailio.Log();
  std::vector<std::vector<std::string>> settings = AudioPhoneSettings(folder, testing::FreeUdpPort(), "50");
  ASSERT_FALSE(settings.empty());
  settings.push_back({"Settings", "SipTraceOn", "1"});
  for (const auto& [line, user, password] : {std::tuple{"Line1", "100", "Pass-1"}, {"Line2", "101", "Pass-2"}}) {
    for (const auto& [key, value] : {std::pair{"UseDefault", "0"}, {"UserName", user}, {"ProxyPassword", password}}) {
      settings.push_back({line, key, value});
    }
    settings.push_back({line, "Proxy", "127.0.0.1:" + std::to_string(proxyPort)});
  }
  testing::PhoneUnderTest phone(folder.Sub("phone"), settings);
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  Baresip first(static_cast<int>(kBaresipTone), "PCMU/8000/1", "", {"200", proxyPort, "Pass-2"});
  Baresip second(660, "PCMU/8000/1", "", {"201", proxyPort, "Pass-2"});
  ASSERT_TRUE(first.WaitReady() && second.WaitReady()) << first.Log() << second.Log();
  ASSERT_TRUE(PollUntil([&] {
    const std::string users = kamailio.UlDump();
    return users.find("AoR: 100") != std::string::npos && users.find("AoR: 101") != std::string::npos &&
           users.find("AoR: 200") != std::string::npos && users.find("AoR: 201") != std::string::npos;
  }, 10000)) << kamailio.UlDump();
  const std::unique_ptr<Capture> capture = CaptureRtpTo(folder, {&first, &second});
  ASSERT_TRUE(capture);
  ASSERT_EQ(phone.Ask("dial 200"), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"line\":1", "\"state\":\"Connected\""}, 10000))
      << first.Log() << kamailio.Log();
  ASSERT_EQ(phone.Ask("dial 201"), "ok {\"line\":2}");  // line 1 is held meanwhile
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"line\":2", "\"state\":\"Connected\""}, 10000))
      << second.Log() << kamailio.Log();
  ASSERT_EQ(phone.Ask("transfer attended"), "ok {\"line\":2}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"transfer\"", "\"kind\":\"attended\"", "\"result\":\"bridged\""},
                                 10000))
      << phone.ActivityLog() << phone.SipTrace();
  const double bridged = EpochSeconds();
  EXPECT_NE(phone.Ask("status").find("\"bridges\":1"), std::string::npos);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  // The first's hold goes through the bridge: the phone takes its sendonly offer and passes it on.
  const std::size_t traced = phone.SipTrace().size();
  ASSERT_TRUE(first.Command("hold")) << first.Log();
  const std::string toSecond = "UDP Packet Sent to 127.0.0.1:" + std::to_string(second.SipPort()) + " ";
  const auto relayed = [&] {
    const std::string trace = phone.SipTrace().substr(traced);
    for (std::size_t at = trace.find(toSecond); at != std::string::npos; at = trace.find(toSecond, at + 1)) {
      const std::string message = trace.substr(at, trace.find("UDP Packet", at + 1) - at);
      if (message.find("\nINVITE ") != std::string::npos && message.find("a=sendonly") != std::string::npos) return true;
    }
    return false;
  };
  ASSERT_TRUE(PollUntil(relayed, 5000)) << phone.SipTrace().substr(traced);
  ASSERT_TRUE(second.Command("hangup")) << second.Log();
  EXPECT_TRUE(PollUntil([&] { return first.Log().find(" terminated (duration") != std::string::npos; }, 5000))
      << first.Log();
  EXPECT_TRUE(PollUntil([&] { return phone.Ask("status").find("\"bridges\":0") != std::string::npos; }, 3000));
  const std::string state = phone.Ask("state");
  EXPECT_EQ(testing::CountOf(state, "\"state\":\"Idle\""), 2) << state;
  const std::string pcap = capture->Finish();
  EXPECT_EQ(phone.Quit(), 0);
  // The two peers send each other their tones directly, not through the phone.
  EXPECT_TRUE(HoldsTone(PcmuBetween(RtpBetween(pcap, first, second, bridged), 0, 1e10), kBaresipTone, 50))
      << second.Log();
  EXPECT_TRUE(HoldsTone(PcmuBetween(RtpBetween(pcap, second, first, bridged), 0, 1e10), 660, 50)) << first.Log();
}

TEST(CallAudioTransfer, AttendedTransferBetweenThreePhones) {
  if (access("/usr/bin/sox", X_OK) != 0) GTEST_SKIP() << "sox is missing";
  // The transferor, the transferee (its line 1's party) and the target (its line 2's party).
  const std::array<const char*, 3> users{"100", "200", "300"};
  std::vector<std::unique_ptr<testing::TempFolder>> homes;
  std::vector<std::unique_ptr<testing::PhoneUnderTest>> phones;
  std::vector<std::string> addresses;
  for (const char* user : users) {
    homes.push_back(std::make_unique<testing::TempFolder>(std::string("t") + user));
    const std::uint16_t port = testing::FreeUdpPort();
    std::vector<std::vector<std::string>> settings = AudioPhoneSettings(*homes.back(), port, "50");
    ASSERT_FALSE(settings.empty());
    for (std::vector<std::string>& row : settings) {
      if (row[1] == "UserName") row[2] = user;
    }
    settings.push_back({"Settings", "SipTraceOn", "1"});
    phones.push_back(std::make_unique<testing::PhoneUnderTest>(homes.back()->Sub("phone"), settings));
    phones.back()->Start();
    ASSERT_NE(phones.back()->WaitForSipPort(10000), 0);
    addresses.push_back(std::string(user) + "@127.0.0.1:" + std::to_string(port));
  }
  testing::PhoneUnderTest& transferor = *phones[0];
  testing::PhoneUnderTest& transferee = *phones[1];
  testing::PhoneUnderTest& target = *phones[2];
  for (int line : {1, 2}) {
    testing::PhoneUnderTest& called = *phones[static_cast<std::size_t>(line)];
    ASSERT_EQ(transferor.Ask("dial " + addresses[static_cast<std::size_t>(line)]),
              "ok {\"line\":" + std::to_string(line) + "}");
    ASSERT_TRUE(called.WaitForEvent({"\"state\":\"IncomingRinging\""}, 10000));
    ASSERT_EQ(called.Ask("answer"), "ok {\"line\":1}");
    ASSERT_TRUE(transferor.WaitForEvent(
        {"\"event\":\"line\"", "\"line\":" + std::to_string(line), "\"state\":\"Connected\""}, 10000));
  }
  EXPECT_EQ(transferor.Ask("line 1"), "ok");
  ASSERT_TRUE(transferor.WaitForEvent({"\"event\":\"hold\"", "\"line\":1", "\"held\":false"}, 5000));
  ASSERT_EQ(transferor.Ask("transfer attended"), "ok {\"line\":1}");
  ASSERT_TRUE(transferee.WaitForEvent({"\"event\":\"transfer\"", "\"kind\":\"transferee\"", "\"result\":\"replaced\""},
                                      10000))
      << transferee.SipTrace() << target.SipTrace();
  EXPECT_TRUE(transferor.WaitForEvent({"\"event\":\"transfer\"", "\"kind\":\"attended\"", "\"result\":\"referred\""},
                                      5000));
  EXPECT_TRUE(PollUntil([&] { return testing::CountOf(transferor.Ask("state"), "\"state\":\"Idle\"") == 2; }, 5000))
      << transferor.Ask("state");
  const std::string heard = homes[1]->Sub("heard.wav");
  const std::size_t replacedAt = ReadWav(heard).size();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  for (testing::PhoneUnderTest* phone : {&transferee, &target}) {
    EXPECT_NE(phone->Ask("status").find("{\"line\":1,\"state\":\"Connected\""), std::string::npos);
  }
  EXPECT_EQ(transferee.Ask("hangup"), "ok {\"line\":1}");
  EXPECT_TRUE(target.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  for (auto& phone : phones) EXPECT_EQ(phone->Quit(), 0);
  // The target took the INVITE naming its call with the transferor and sent that call its BYE;
  // the transferee, the transferor long gone, hears the target's tone.
  const std::string trace = target.SipTrace();
  const std::size_t invite = trace.find("\nINVITE sip:" + addresses[2]);
  ASSERT_NE(invite, std::string::npos) << trace;
  const std::size_t replaces = trace.find("\nReplaces: ", invite);
  ASSERT_NE(replaces, std::string::npos) << trace;
  EXPECT_EQ(trace.find("SIP/2.0 481"), std::string::npos) << "the tags match";
  EXPECT_NE(trace.find("Sent to " + addresses[0].substr(4) + " ", replaces), std::string::npos) << trace;
  EXPECT_NE(trace.find("\nBYE sip:100@", replaces), std::string::npos) << trace;
  const std::vector<std::int32_t> samples = ReadWav(heard);
  ASSERT_GT(samples.size(), replacedAt + 8000);
  EXPECT_TRUE(HoldsTone({samples.begin() + static_cast<long>(replacedAt) + 4000, samples.end()}, kPhoneTone, 50));
}

// The strongest frequency within 15 % of `hz` in the middle second of `samples`, to 0.5 Hz, as
// long as it stands well above the noise at 2.5 kHz (else 0).
double PeakNear(const std::vector<std::int32_t>& samples, double hz) {
  if (samples.size() < 16000) return 0;
  const std::int32_t* second = &samples[samples.size() / 2 - 4000];
  double best = 0;
  double bestPower = -1;
  for (double f = hz * 0.85; f <= hz * 1.15; f += 0.5) {
    const double power = PowerAt(second, 8000, f);
    if (power > bestPower) bestPower = power, best = f;
  }
  return bestPower > 100 * PowerAt(second, 8000, 2500) ? best : 0;
}

enum class Ending { kRecordCommand, kHangup, kKill };

struct RecordingCase {
  const char* name;
  bool baresip;     // else SIPp answers and sends no RTP
  bool autoRecord;  // `Auto` = 1: recording from connect; else the `record` command starts it
  Ending ending;    // `record` again, the hang-up, or `kill -9` of the phone 5 s in
};

void PrintTo(const RecordingCase& c, std::ostream* out) { *out << c.name; }

// The path in a `record` answer or a `recording` event.
std::filesystem::path PathIn(const std::string& line) {
  const std::size_t at = line.find("\"path\":\"");
  return at == std::string::npos ? "" : line.substr(at + 8, line.find('"', at + 8) - at - 8);
}

// The seconds of audio Python's `wave` reads from `path` (-1 when it cannot).
double WaveModuleSeconds(const std::string& path) {
  testing::ChildProcess python({"/usr/bin/python3", "-c",
                                "import sys, wave\nw = wave.open(sys.argv[1])\n"
                                "print(len(w.readframes(w.getnframes())) / w.getsampwidth() / w.getframerate())",
                                path},
                               {});
  std::string line;
  return python.ReadLine(&line, 10000) ? std::stod(line) : -1;
}

class CallAudioRecording : public ::testing::TestWithParam<RecordingCase> {};

// A recording in a call: a WAV file in the recordings folder (made with its parents) named by
// the start time and the remote party, as long as the recording ran, holding the phone's own
// tone and baresip's. Once stopped its header has the true sizes; a killed phone leaves a file
// that Python's `wave` reads almost to the end.
TEST_P(CallAudioRecording, WritesTheCallToANamedFile) {
  const RecordingCase c = GetParam();
  for (const char* tool : {"/usr/bin/sox", c.baresip ? "/usr/bin/baresip" : "/usr/bin/sipp"}) {
    if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing";
  }
  testing::TempFolder folder("cr");
  std::vector<std::vector<std::string>> settings = AudioPhoneSettings(folder, testing::FreeUdpPort(), "50");
  ASSERT_FALSE(settings.empty());
  const std::string recordings = folder.Sub("rec/calls");
  settings.push_back({"Recorder", "Folder", recordings});
  settings.push_back({"Recorder", "Auto", c.autoRecord ? "1" : "0"});
  testing::PhoneUnderTest phone(folder.Sub("phone"), settings);
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  std::unique_ptr<Baresip> peer;
  std::unique_ptr<testing::ChildProcess> sipp;
  std::string target;
  if (c.baresip) {
    peer = std::make_unique<Baresip>(static_cast<int>(kBaresipTone), "PCMU/8000/1");
    ASSERT_TRUE(peer->WaitReady()) << peer->Log();
    target = peer->Target();
  } else {
    const std::uint16_t port = testing::FreeUdpPort();
    sipp = testing::StartSippPeer(folder.Sub("sipp"), testing::kSippHead + testing::AnsweringUas(false), port, 0);
    target = "200@127.0.0.1:" + std::to_string(port);
  }
  ASSERT_EQ(phone.Ask("dial " + target), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000));
  const auto started = std::chrono::steady_clock::now();
  const std::string answer = c.autoRecord ? "" : phone.Ask("record");  // ok {"line":1,"recording":true,"path":"..."}
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"recording\"", "\"on\":true"}, 2000)) << answer;
  std::filesystem::path path;
  for (const std::string& e : phone.Events()) {
    if (e.find("\"event\":\"recording\"") != std::string::npos) path = PathIn(e);
  }
  EXPECT_TRUE(c.autoRecord || PathIn(answer) == path) << answer;
  EXPECT_EQ(path.parent_path(), recordings);
  EXPECT_TRUE(std::regex_match(path.filename().string(),
                               std::regex(std::string(R"(\d{4}-\d\d-\d\d \d\d-\d\d )") +
                                          (c.baresip ? "bob bob" : "200 200") + R"(\.wav)")))
      << path;
  std::this_thread::sleep_for(std::chrono::seconds(c.ending == Ending::kKill ? 5 : 4));
  if (c.ending == Ending::kKill) {
    kill(phone.Pid(), SIGKILL);
    EXPECT_GE(WaveModuleSeconds(path.string()), 3.0);
    return;
  }
  if (c.ending == Ending::kRecordCommand) {
    EXPECT_EQ(phone.Ask("record"), "ok {\"line\":1,\"recording\":false,\"path\":\"\"}");
  }
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":1}");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"recording\"", "\"on\":false", path.string()}, 2000));
  EXPECT_EQ(phone.Quit(), 0);

  const std::uint32_t size = static_cast<std::uint32_t>(std::filesystem::file_size(path));
  char head[46] = {};
  std::ifstream(path, std::ios::binary).read(head, sizeof head);
  std::uint32_t riffSize = 0, rate = 0, dataSize = 0;  // little-endian, as the host
  std::memcpy(&riffSize, head + 4, 4), std::memcpy(&rate, head + 24, 4), std::memcpy(&dataSize, head + 42, 4);
  EXPECT_EQ(std::vector<std::uint32_t>({riffSize, rate, dataSize}),
            std::vector<std::uint32_t>({size - 8, 8000u, size - 46})) << "the true sizes, not \"length unknown\"";
  const std::vector<std::int32_t> mixed = ReadWav(path.string());
  EXPECT_NEAR(static_cast<double>(mixed.size()) / 8000, seconds, 0.5);
  EXPECT_NEAR(PeakNear(mixed, kPhoneTone), kPhoneTone, kPhoneTone * 0.02);
  if (c.baresip) {
    EXPECT_NEAR(PeakNear(mixed, kBaresipTone), kBaresipTone, kBaresipTone * 0.02);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CallAudioRecording,
    ::testing::Values(RecordingCase{"RecordCommand", true, false, Ending::kRecordCommand},
                      RecordingCase{"AutoFromConnect", true, true, Ending::kHangup},
                      RecordingCase{"SilentSippPeer", false, true, Ending::kHangup},
                      RecordingCase{"KilledPhone", false, false, Ending::kKill}),
    [](const auto& info) { return std::string(info.param.name); });

// corvina-orrin-server on 127.0.0.1:`port`, its files in `folder`, taking only `code`.
std::unique_ptr<testing::ChildProcess> StartOrrinServer(std::uint16_t port, const std::string& folder,
                                                        const std::string& code) {
  auto server = std::make_unique<testing::ChildProcess>(
      std::vector<std::string>{CORVINA_ORRIN_SERVER, "--listen", "127.0.0.1:" + std::to_string(port), "--folder",
                               folder, "--code", code},
      std::vector<std::string>{});
  std::string errors;
  PollUntil([&] { return (errors += server->ReadAllErrors(50)).find("listening on") != std::string::npos; }, 5000);
  return server;
}

// Recordings over the Orrin link, one host after the other from `OrrinHost`: our server's file
// holds both tones; a server that never answers, one that stops reading, one that refuses the
// access code and one that is down each leave their line in the activity log, while the call
// goes on and baresip still hears the phone's tone.
TEST(CallAudioOrrin, TheServerGetsBothTonesAndEachFailureIsLogged) {
  if (!MissingTools().empty() || access("/usr/bin/sox", X_OK) != 0) GTEST_SKIP() << MissingTools() << " (or sox)";
  testing::TempFolder folder("co");
  std::uint16_t good = 0, refusing = 0;
  {
    const testing::RawListener a, b;  // two ports free a moment ago
    good = a.port, refusing = b.port;
  }
  const testing::RawListener silent;          // accepts and never answers
  const testing::RawListener deaf(8, 1024);   // answers, then reads nothing more
  std::string hosts;  // the first recording takes the second host
  for (std::uint16_t port : {refusing, good, silent.port, deaf.port}) hosts += " 127.0.0.1:" + std::to_string(port);
  std::vector<std::vector<std::string>> settings = AudioPhoneSettings(folder, testing::FreeUdpPort(), "50");
  ASSERT_FALSE(settings.empty());
  settings.insert(settings.end(), {{"Recorder", "Orrinlink", "1"},
                                   {"Recorder", "OrrinHost", hosts.substr(1)},
                                   {"Recorder", "OrrinAccessCode", "line1"}});
  std::unique_ptr<testing::ChildProcess> server = StartOrrinServer(good, folder.Sub("rec"), "line1");
  const std::unique_ptr<testing::ChildProcess> refuser = StartOrrinServer(refusing, folder.Sub("rec2"), "other");
  testing::PhoneUnderTest phone(folder.Sub("phone"), settings);
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  Baresip peer(static_cast<int>(kBaresipTone), "PCMU/8000/1");
  ASSERT_TRUE(peer.WaitReady()) << peer.Log();
  const std::unique_ptr<Capture> capture = CaptureRtpTo(folder, {&peer});
  ASSERT_TRUE(capture);
  ASSERT_EQ(phone.Ask("dial " + peer.Target()), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000)) << peer.Log();
  ASSERT_NE(phone.Ask("record").find("\"recording\":true"), std::string::npos);
  EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"recording\"", "\"orrin\":\"127.0.0.1:" + std::to_string(good)}, 2000));
  std::this_thread::sleep_for(std::chrono::seconds(4));
  ASSERT_NE(phone.Ask("record").find("\"recording\":false"), std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(server->Pid(), SIGTERM);
  EXPECT_EQ(server->Wait(5000), 0);
  server.reset();  // down for the last try
  std::vector<std::filesystem::path> files;
  for (const auto& f : std::filesystem::directory_iterator(folder.Sub("rec"))) files.push_back(f.path());
  ASSERT_EQ(files.size(), 1u);
  const std::vector<std::int32_t> mixed = ReadWav(files[0].string());
  EXPECT_GE(mixed.size(), 3u * 8000);
  EXPECT_NEAR(PeakNear(mixed, kBaresipTone), kBaresipTone, kBaresipTone * 0.02);
  EXPECT_NEAR(PeakNear(mixed, kPhoneTone), kPhoneTone, kPhoneTone * 0.02);

  const double failuresFrom = EpochSeconds();
  const std::vector<std::pair<std::string, int>> failures = {
      {"Orrin did not respond", 10000},
      {"Connection with Orrin broken", 30000},  // with its 8 KiB send buffer, about 12 s
      {"Orrin Recorder did not accept your access code.", 5000},
      {"Unable to connect to Orrin Recorder @ 127.0.0.1:" + std::to_string(good), 5000}};
  int deafClient = -1;
  for (const auto& [text, ms] : failures) {
    EXPECT_NE(phone.Ask("record").find("\"recording\":true"), std::string::npos) << text;
    if (text == failures[1].first) {
      deafClient = deaf.Accept(5000);
      EXPECT_TRUE(testing::SendBytes(deafClient, std::string("<\0", 2)));
    }
    EXPECT_TRUE(PollUntil([&] { return testing::CountOf(phone.ActivityLog(), text) == 1; }, ms))
        << text << "\n" << phone.ActivityLog();
    EXPECT_NE(phone.Ask("record").find("\"recording\":false"), std::string::npos) << text;
  }
  close(deafClient);
  EXPECT_NE(phone.Ask("status").find("{\"line\":1,\"state\":\"Connected\""), std::string::npos);
  const std::vector<RtpSeen> sent = SentTo(capture->Finish(), peer);
  EXPECT_TRUE(HoldsTone(PcmuBetween(sent, failuresFrom, EpochSeconds()), kPhoneTone));
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":1}");
  EXPECT_EQ(phone.Quit(), 0);
}

}  // namespace
}  // namespace corvina::interop
