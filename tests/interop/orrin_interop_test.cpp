// The phone records a call with baresip to corvina-orrin-server: the server's file holds both
// tones; then, in the same call, a refused access code and a server that is down each leave
// their line in the activity log, and the call goes on.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "tests/interop/media_interop_support.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/raw_tcp.h"
#include "tests/support/temp_folder.h"

namespace corvina::interop {
namespace {

TEST(OrrinInterop, RecordingsReachTheServerAndFailuresAreLogged) {
  if (!MissingTools().empty()) GTEST_SKIP() << MissingTools();
  testing::TempFolder folder("oi");
  const std::string tone = folder.Sub("tone.wav");
  ASSERT_TRUE(WriteTone(tone, 1000, 30));
  const std::uint16_t orrinPort = testing::RawListener().port;  // free once the listener is gone
  const std::vector<std::string> server = {CORVINA_ORRIN_SERVER, "--listen", "127.0.0.1:" + std::to_string(orrinPort),
                                           "--folder", folder.Sub("rec"), "--code", "line1"};
  auto orrin = std::make_unique<testing::ChildProcess>(server, std::vector<std::string>{});
  testing::PhoneUnderTest phone(folder.Sub("phone"), {{"SIP", "Port", std::to_string(testing::FreeUdpPort())},
                                                      {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
                                                      {"Settings", "Record", "wav:" + tone},
                                                      {"Settings", "UseEchoCancellation", "0"},
                                                      {"Recorder", "Orrinlink", "1"},
                                                      {"Recorder", "OrrinHost", "127.0.0.1:" + std::to_string(orrinPort)},
                                                      {"Recorder", "OrrinAccessCode", "line1"}});
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  Baresip peer(440, "PCMU/8000/1");
  ASSERT_TRUE(peer.WaitReady()) << peer.Log();
  ASSERT_EQ(phone.Ask("dial " + peer.Target()), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000)) << peer.Log();
  ASSERT_NE(phone.Ask("record").find("\"recording\":true"), std::string::npos);
  std::this_thread::sleep_for(std::chrono::seconds(4));
  ASSERT_NE(phone.Ask("record").find("\"recording\":false"), std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(orrin->Pid(), SIGTERM);
  EXPECT_EQ(orrin->Wait(5000), 0);
  std::vector<std::filesystem::path> files;
  for (const auto& f : std::filesystem::directory_iterator(folder.Sub("rec"))) files.push_back(f.path());
  ASSERT_EQ(files.size(), 1u);
  const std::vector<std::int32_t> mixed = ReadWav(files[0].string());
  ASSERT_GE(mixed.size(), 3u * 8000);
  const double floor = PowerAt(mixed.data(), mixed.size(), 2500);
  EXPECT_GT(PowerAt(mixed.data(), mixed.size(), 440), 100 * floor);
  EXPECT_GT(PowerAt(mixed.data(), mixed.size(), 1000), 100 * floor);

  std::vector<std::string> refused = server;
  refused.back() = "other";
  orrin = std::make_unique<testing::ChildProcess>(refused, std::vector<std::string>{});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  for (const char* line : {"Orrin Recorder did not accept your access code.",
                           "Unable to connect to Orrin Recorder @ 127.0.0.1:"}) {
    phone.Ask("record");
    EXPECT_TRUE(testing::PollUntil([&] { return phone.ActivityLog().find(line) != std::string::npos; }, 5000)) << line;
    phone.Ask("record");
    orrin.reset();  // the server is down for the next try
  }
  EXPECT_NE(phone.Ask("state").find("\"Connected\""), std::string::npos);  // the call went on
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":1}");
  EXPECT_EQ(phone.Quit(), 0);
}

}  // namespace
}  // namespace corvina::interop
