// The phone calls baresip (auto-answer, a 440 Hz sine, recording what it decodes) with its
// Record device a WAV file of a 1000 Hz tone and its PlayDevice a WAV file, echo suppression
// and gain control off: each side's recording holds the other's tone, in PCMU and in GSM.
#include <gtest/gtest.h>

#include "tests/interop/media_interop_support.h"
#include "tests/support/phone_under_test.h"

namespace corvina::interop {
namespace {

struct AudioCase {
  const char* codec;    // as baresip names it
  const char* quality;  // the phone's Quality: below 50 prefers GSM
};

class CallAudio : public ::testing::TestWithParam<AudioCase> {};

// A short name: baresip cuts long recording paths, and the folder carries the test name.
TEST_P(CallAudio, BothWays) {
  const AudioCase c = GetParam();
  for (const char* tool : {"/usr/bin/baresip"}) {
    if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing";
  }
  testing::TempFolder folder("callaudio");
  Baresip peer(440, c.codec);
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
                                 {"Settings", "UseAGC", "0"},
                                 {"SIP", "Quality", c.quality}});
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

INSTANTIATE_TEST_SUITE_P(Codecs, CallAudio,
                         ::testing::Values(AudioCase{"PCMU/8000/1", "50"}, AudioCase{"GSM/8000/1", "40"}),
                         [](const auto& info) { const std::string codec(info.param.codec);
                           return codec.substr(0, codec.find('/')); });

}  // namespace
}  // namespace corvina::interop
