// Transfers with audio: the phone's blind transfer of one baresip to another leaves those two
// talking to each other and the phone idle; a baresip that transfers the phone to a third has the
// phone hear the third's tone. `transfer attended` between two calls through Kamailio on
// different accounts joins them: a two-leg bridge runs, RTP flows between the two baresips
// directly, a baresip's hold reaches the other and one hang-up ends both. Between three phones,
// the attended transfer's target takes the INVITE with Replaces, ends its call with the
// transferor and talks to the transferee. Audio after a re-INVITE is read from RTP captures.
#include "tests/interop/call_audio_support.h"

namespace corvina::interop {
namespace {

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

}  // namespace
}  // namespace corvina::interop
