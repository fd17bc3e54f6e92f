// The phone calls baresip (auto-answer, a 440 Hz sine, recording what it decodes) with its
// Record device a WAV file of a 1000 Hz tone and its PlayDevice a WAV file, echo suppression
// off: each side's recording holds the other's tone.
#include <gtest/gtest.h>

#include "tests/interop/media_interop_support.h"
#include "tests/support/phone_under_test.h"

namespace corvina::interop {
namespace {

// A short name: baresip cuts long recording paths, and the folder carries the test name.
TEST(CallAudio, BothWays) {
  for (const char* tool : {"/usr/bin/baresip"}) {
    if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing";
  }
  testing::TempFolder folder("callaudio");
  Baresip peer(folder, 440, "PCMU/8000/1");
  ASSERT_TRUE(peer.WaitReady()) << peer.Log();
  const std::string tone = folder.Sub("tone.wav");
  const std::string heard = folder.Sub("heard.wav");
  ASSERT_TRUE(WriteTone(tone, 1000, 20));
  testing::PhoneUnderTest phone(folder.Sub("phone"),
                                {{"SIP", "Port", std::to_string(testing::FreeUdpPort())},
                                 {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
                                 {"DefaultLine", "UserName", "100"},
                                 {"Settings", "Record", "wav:" + tone},
                                 {"Settings", "PlayDevice", "wav:" + heard},
                                 {"Settings", "UseEchoCancellation", "0"},
                                 {"Settings", "UseAGC", "0"}});
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  ASSERT_EQ(phone.Ask("dial " + peer.Target()), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"state\":\"Connected\""}, 10000)) << peer.Log();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":1}");
  EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  EXPECT_EQ(phone.Quit(), 0);

  const ToneWindows ours = CountToneWindows(ReadWav(heard), 440);
  EXPECT_GT(ours.loud, 100) << heard;
  EXPECT_GE(ours.right, ours.loud * 95 / 100) << ours.right << " of " << ours.loud;
  // baresip completes its recording when it has taken the BYE.
  std::string decoded;
  std::vector<std::int32_t> decodedSamples;
  PollUntil([&] {
    decoded = peer.DecodedFile();
    decodedSamples = decoded.empty() ? std::vector<std::int32_t>{} : ReadWav(decoded);
    return !decodedSamples.empty();
  }, 5000);
  const ToneWindows theirs = CountToneWindows(decodedSamples, 1000);
  EXPECT_GT(theirs.loud, 100) << decoded << peer.Log() << phone.ActivityLog();
  EXPECT_GE(theirs.right, theirs.loud * 95 / 100) << theirs.right << " of " << theirs.loud;
}

}  // namespace
}  // namespace corvina::interop
