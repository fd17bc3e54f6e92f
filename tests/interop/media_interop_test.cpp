// The media session against real peers on loopback, looked at on the wire (tshark) and in the
// audio both ends hear:
// - baresip: every packet starts 0x80, carries DSCP 46, leaves from an even port and nothing
//   leaves from the port above; payloads of 160/160/33/80 bytes, sequence numbers one apart,
//   timestamps 160 apart, a WAV source paced at 20 ms; baresip's sine is heard in our
//   recording and our tone in baresip's, in at least 95 % of the 20 ms windows; RFC 2833
//   digits in their exact six-packet pattern, reported by baresip in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "tests/interop/media_interop_support.h"

namespace corvina::interop {
namespace {

constexpr double kOurTone = 600;

struct CodecCase {
  const char* name;      // as baresip names it
  int payloadType;
  int payloadBytes;
  double sineHz;         // what baresip sends
  bool digits;
};

class BaresipCall : public ::testing::TestWithParam<CodecCase> {};

TEST_P(BaresipCall, WireFormatPacingAudioBothWaysAndDigits) {
  if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing;
  const CodecCase c = GetParam();
  testing::TempFolder folder("media");
  Baresip peer(folder, static_cast<int>(c.sineHz), std::string(c.name) + "/8000/1");
  ASSERT_TRUE(peer.WaitReady()) << peer.Log();
  const std::uint16_t rtpBase = FreeEvenPortPair();
  ASSERT_NE(rtpBase, 0);
  Capture capture(folder, "udp portrange " + std::to_string(rtpBase) + "-" + std::to_string(rtpBase + 1));
  ASSERT_TRUE(capture.WaitRunning());
  const std::string tone = folder.Sub("tone.wav");
  const std::string heard = folder.Sub("heard.wav");
  ASSERT_TRUE(WriteTone(tone, kOurTone, 4));
  std::vector<std::string> args{"--target", peer.Target(), "--rtp-base", std::to_string(rtpBase), "--play", tone,
                                "--record", heard, "--seconds", "3"};
  if (c.digits) args.insert(args.end(), {"--digits", "19#", "--digits-after", "1000"});
  const LegRun run = RunLeg(args);
  ASSERT_EQ(run.status, 0) << peer.Log();
  EXPECT_EQ(run.Line("codec ").substr(0, std::to_string(c.payloadType).size() + 1), std::to_string(c.payloadType) + " ");
  const int port = std::stoi(run.Line("rtp-port "));
  EXPECT_EQ(port % 2, 0);
  const std::string pcap = capture.Finish();

  const std::vector<RtpSeen> sent = ReadRtpFrom(pcap, port);
  EXPECT_EQ(CountFrom(pcap, port + 1), 0) << "nothing leaves from the port above";
  std::vector<RtpSeen> voice;
  std::vector<RtpSeen> events;
  for (const RtpSeen& p : sent) {
    EXPECT_TRUE(p.firstByteIs0x80);
    EXPECT_EQ(p.dscp, 46u);
    if (p.payloadType == c.payloadType && p.payloadBytes > 0) voice.push_back(p);
    if (p.payloadType == 101) events.push_back(p);
  }
  ASSERT_GT(voice.size(), 100u);
  std::vector<double> gaps;
  for (std::size_t i = 1; i < voice.size(); ++i) {
    EXPECT_EQ(voice[i].payloadBytes, c.payloadBytes);
    if (voice[i].sequence != ((voice[i - 1].sequence + 1) & 0xFFFF)) continue;  // a digit in between
    EXPECT_EQ(voice[i].timestamp - voice[i - 1].timestamp, 160u) << "seq " << voice[i].sequence;
    gaps.push_back(voice[i].time - voice[i - 1].time);
  }
  std::sort(gaps.begin(), gaps.end());
  ASSERT_FALSE(gaps.empty());
  EXPECT_NEAR(gaps[gaps.size() / 2], 0.020, 0.002) << "median interval";
  double total = 0;
  for (double gap : gaps) total += gap;
  EXPECT_NEAR(total / static_cast<double>(gaps.size()), 0.020, 0.001) << "mean interval";

  // Our recording of baresip's sine, and baresip's recording of our tone.
  const ToneWindows ours = CountToneWindows(ReadWav(heard), c.sineHz);
  EXPECT_GT(ours.loud, 100);
  EXPECT_GE(ours.right, ours.loud * 95 / 100) << ours.right << " of " << ours.loud;
  const std::string decoded = peer.DecodedFile();
  const ToneWindows theirs = CountToneWindows(ReadWav(decoded), kOurTone);
  EXPECT_GT(theirs.loud, 100) << decoded;
  EXPECT_GE(theirs.right, theirs.loud * 95 / 100) << theirs.right << " of " << theirs.loud;

  if (!c.digits) return;
  ASSERT_EQ(events.size(), 18u);
  const unsigned durations[] = {0, 800, 800, 1600, 1600, 1600};
  const unsigned seqStep[] = {0, 1, 1, 2, 2, 2};
  const int codes[] = {1, 9, 11};
  for (int d = 0; d < 3; ++d) {
    const RtpSeen& first = events[d * 6];
    for (int k = 0; k < 6; ++k) {
      const RtpSeen& e = events[d * 6 + k];
      ASSERT_EQ(e.payload.size(), 4u);
      EXPECT_EQ(e.payload[0], codes[d]);
      EXPECT_EQ(e.payload[1], k >= 3 ? 0x8A : 0x0A);
      EXPECT_EQ(static_cast<unsigned>(e.payload[2] << 8 | e.payload[3]), durations[k]);
      EXPECT_EQ(e.marker, k == 0);
      EXPECT_EQ(e.timestamp, first.timestamp);
      EXPECT_EQ((e.sequence - first.sequence) & 0xFFFF, seqStep[k]);
    }
  }
  std::string reported;
  const std::string log = peer.Log();
  const std::regex ended("received event: '(.)' \\(end=1\\)");
  for (auto it = std::sregex_iterator(log.begin(), log.end(), ended); it != std::sregex_iterator(); ++it) {
    reported += (*it)[1].str();
  }
  EXPECT_EQ(reported, "19#");
}

INSTANTIATE_TEST_SUITE_P(Codecs, BaresipCall,
                         ::testing::Values(CodecCase{"PCMU", 0, 160, 1000, true}, CodecCase{"PCMA", 8, 160, 1400, false},
                                           CodecCase{"GSM", 3, 33, 800, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvina::interop
