// Music on hold heard by baresip, read from an RTP capture (baresip 1.0's own recording stops at
// the first re-INVITE): the phone, its microphone a 1000 Hz tone, holds the call for 3 s and
// takes it back. While held baresip hears the music and no microphone, after the retrieve the
// tone. The music: Hold.wav (the phone's tune of 523, 659 and 784 Hz); silence when Hold.wav
// cannot be opened; corvina-lumo-server playing a 700 Hz file made at 16000 Hz, the phone's TCP
// segments marked TOS 0xB8 once streaming; that server killed during the hold; no server at all.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/interop/media_interop_support.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/raw_tcp.h"

namespace corvina::interop {
namespace {

enum class Music { kHoldWav, kNoHoldWav, kLumo, kLumoKilled, kLumoDown };

struct HoldCase {
  const char* name;
  Music music;
  const char* logged;  // in the activity log afterwards
};
void PrintTo(const HoldCase& c, std::ostream* out) { *out << c.name; }

class HoldMusic : public ::testing::TestWithParam<HoldCase> {};

TEST_P(HoldMusic, BaresipHearsTheMusicWhileHeldAndTheMicrophoneAfter) {
  const HoldCase c = GetParam();
  if (!MissingTools().empty() || access("/usr/bin/sox", X_OK) != 0) GTEST_SKIP() << MissingTools() << " (or sox)";
  testing::TempFolder folder("hm");
  const std::string tone = folder.Sub("tone.wav");
  ASSERT_TRUE(WriteTone(tone, 1000, 30));
  const std::string music = folder.Sub("music.wav");
  testing::ChildProcess sox({"/usr/bin/sox", "-n", "-r", "16000", "-b", "16", "-t", "wavpcm", music, "synth", "5",
                             "sine", "700", "vol", "0.5"}, {});
  ASSERT_EQ(sox.Wait(10000), 0);
  const std::uint16_t lumoPort = testing::RawListener().port;  // free once the listener is gone
  std::unique_ptr<testing::ChildProcess> server;
  if (c.music == Music::kLumo || c.music == Music::kLumoKilled) {
    server = std::make_unique<testing::ChildProcess>(
        std::vector<std::string>{CORVINA_LUMO_SERVER, "--listen", "127.0.0.1:" + std::to_string(lumoPort), "--file", music},
        std::vector<std::string>{});
    ASSERT_NE(server->ReadAllErrors(500).find("listening on"), std::string::npos);
  }
  const std::string home = folder.Sub("phone");
  if (c.music == Music::kNoHoldWav) {  // a folder in its place: never written over, never opened
    std::filesystem::create_directories(home + "/Documents/Corvina/System Tones/Hold.wav");
  }
  testing::PhoneUnderTest phone(home, {{"SIP", "Port", std::to_string(testing::FreeUdpPort())},
                                       {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
                                       {"Settings", "Record", "wav:" + tone},
                                       {"Settings", "UseEchoCancellation", "0"},
                                       {"Settings", "UseAGC", "0"},
                                       {"Settings", "UseLumoServer", c.music >= Music::kLumo ? "1" : "0"},
                                       {"Settings", "LumoServer", "127.0.0.1:" + std::to_string(lumoPort)}});
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  Baresip peer(440, "PCMU/8000/1");
  ASSERT_TRUE(peer.WaitReady()) << peer.Log();
  const std::unique_ptr<Capture> capture = CaptureRtpTo(folder, {&peer}, "tcp dst port " + std::to_string(lumoPort));
  ASSERT_TRUE(capture);
  ASSERT_EQ(phone.Ask("dial " + peer.Target()), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000)) << peer.Log();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_EQ(phone.Ask("hold"), "ok");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"hold\"", "\"held\":true"}, 5000)) << peer.Log();
  const double held = EpochSeconds() + 0.5;  // once the last microphone packets are out
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  if (c.music == Music::kLumoKilled) server.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const double resumePressed = EpochSeconds();
  ASSERT_EQ(phone.Ask("hold"), "ok");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"hold\"", "\"held\":false"}, 5000)) << peer.Log();
  const double resumed = EpochSeconds() + 0.3;
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_NE(phone.Ask("status").find("{\"line\":1,\"state\":\"Connected\""), std::string::npos);
  EXPECT_NE(phone.ActivityLog().find(c.logged), std::string::npos) << phone.ActivityLog();
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":1}");
  EXPECT_EQ(phone.Quit(), 0);

  const std::string pcap = capture->Finish();
  const std::vector<RtpSeen> sent = SentTo(pcap, peer);
  const std::vector<std::int32_t> whileHeld = PcmuBetween(sent, held, resumePressed);
  if (c.music == Music::kHoldWav || c.music == Music::kLumo) {
    ASSERT_GE(whileHeld.size(), 8000u * 2);
  }
  EXPECT_EQ(MeasureTone(whileHeld, 1000).right, 0) << "no microphone while held";
  if (c.music == Music::kHoldWav) {
    for (double note : {523, 659, 784}) EXPECT_GT(MeasureTone(whileHeld, note).right, 15) << note;
  } else if (c.music == Music::kLumo) {
    EXPECT_TRUE(HoldsTone(whileHeld, 700, 100));
    testing::ChildProcess tshark({"/usr/bin/tshark", "-r", pcap, "-Y", "tcp", "-T", "fields", "-e", "ip.dsfield"}, {});
    std::string tos, line;
    while (tshark.ReadLine(&line, 5000)) tos = line;
    EXPECT_EQ(tos, "0xb8") << "the phone's last segment to the server";  // its first ones go before the login
  } else if (c.music != Music::kLumoKilled) {
    EXPECT_EQ(MeasureTone(whileHeld, 1000).loud, 0) << "silence";
  }
  EXPECT_TRUE(HoldsTone(PcmuBetween(sent, resumed, 1e10), 1000, 50));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, HoldMusic,
    ::testing::Values(HoldCase{"HoldWav", Music::kHoldWav, "Call put on hold"},
                      HoldCase{"NoHoldWav", Music::kNoHoldWav, "Cannot find system file: "},
                      HoldCase{"Lumo", Music::kLumo, "Call put on hold"},
                      HoldCase{"LumoKilledDuringHold", Music::kLumoKilled, "Call put on hold"},
                      HoldCase{"LumoDown", Music::kLumoDown, "Hold Connection Failed"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvina::interop
