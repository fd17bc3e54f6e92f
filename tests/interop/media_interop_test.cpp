// The media session against real peers on loopback, looked at on the wire (tshark) and in the
// audio both ends hear:
// - baresip: every packet starts 0x80, carries DSCP 46, leaves from an even port and nothing
//   leaves from the port above; payloads of 160/160/33/80 bytes, sequence numbers one apart,
//   timestamps 160 apart, a WAV source paced at 20 ms; baresip's sine is heard in our
//   recording and our tone in baresip's, in at least 95 % of the 20 ms windows; RFC 2833
//   digits in their exact six-packet pattern, reported by baresip in order;
// - SIPp answering PCMU with comfort noise and no telephone events, echoing our RTP: comfort
//   noise at 0, 85, 1090 and 2095 ms of timestamp after the last voice frame, the marker on the
//   first voice packet after it; in-band digits decoded by spandsp's DTMF receiver to the
//   exact string, "A" as eight silent packets; our tone comes back in the echo;
// - SIPp calling us (PCMU only) and echoing: our answering side hears its own tone.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include <spandsp.h>

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

void PrintTo(const CodecCase& c, std::ostream* out) { *out << c.name; }

class BaresipCall : public ::testing::TestWithParam<CodecCase> {};

TEST_P(BaresipCall, WireFormatPacingAudioBothWaysAndDigits) {
  if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing;
  const CodecCase c = GetParam();
  testing::TempFolder folder("media");
  Baresip peer(static_cast<int>(c.sineHz), std::string(c.name) + "/8000/1");
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
  EXPECT_TRUE(HoldsTone(ReadWav(heard), c.sineHz)) << heard;
  const std::string decoded = peer.DecodedFile();
  EXPECT_TRUE(HoldsTone(ReadWav(decoded), kOurTone)) << decoded;

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

std::string DecodeInBand(const std::vector<RtpSeen>& packets) {
  dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
  std::vector<std::int16_t> samples;
  for (const RtpSeen& p : packets) {
    for (std::uint8_t b : p.payload) samples.push_back(ulaw_to_linear(b));
  }
  samples.resize(samples.size() + 800, 0);
  dtmf_rx(receiver, samples.data(), static_cast<int>(samples.size()));
  char digits[32] = {};
  dtmf_rx_get(receiver, digits, sizeof digits - 1);
  dtmf_rx_free(receiver);
  return digits;
}

TEST(SippCall, ComfortNoiseTimingMarkerInBandDigitsAndEcho) {
  if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing;
  testing::TempFolder folder("media");
  const std::uint16_t sipPort = FreeLoopbackPort();
  const std::uint16_t mediaPort = FreeEvenPortPair();
  const std::uint16_t rtpBase = FreeEvenPortPair();
  ASSERT_TRUE(sipPort != 0 && mediaPort != 0 && rtpBase != 0 && mediaPort != rtpBase);
  testing::ChildProcess sipp({"/usr/bin/sipp", "-sf", std::string(CORVINA_INTEROP_DATA) + "/uas_pcmu_cn_echo.xml",
                              "-i", "127.0.0.1", "-p", std::to_string(sipPort), "-mi", "127.0.0.1", "-mp",
                              std::to_string(mediaPort), "-rtp_echo", "-m", "1", "-nostdin", "-timeout", "40s"},
                             {});
  Capture capture(folder, "udp portrange " + std::to_string(rtpBase) + "-" + std::to_string(rtpBase + 1));
  ASSERT_TRUE(capture.WaitRunning());
  const std::string tone = folder.Sub("tone.wav");
  const std::string heard = folder.Sub("heard.wav");
  ASSERT_TRUE(WriteSegments(tone, {{kOurTone, 1.5}, {0, 2.3}, {kOurTone, 0.7}}));
  const LegRun run = RunLeg({"--target", "sip:far@127.0.0.1:" + std::to_string(sipPort), "--rtp-base",
                             std::to_string(rtpBase), "--play", tone, "--record", heard, "--seconds", "6.2", "--digits",
                             "159#A", "--digits-after", "4800"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.Line("codec "), "0 cn 13 event 255");
  EXPECT_NE(StopChild(sipp), -1);
  const std::vector<RtpSeen> sent = ReadRtpFrom(capture.Finish(), std::stoi(run.Line("rtp-port ")));

  // Comfort noise after the first tone, by timestamp and on the wire.
  std::size_t lastVoice = 0;
  while (lastVoice + 1 < sent.size() && sent[lastVoice + 1].payloadType == 0) ++lastVoice;
  ASSERT_GT(lastVoice, 50u);
  std::vector<const RtpSeen*> noise;
  std::size_t resumed = lastVoice + 1;
  for (; resumed < sent.size() && sent[resumed].payloadType == 13; ++resumed) noise.push_back(&sent[resumed]);
  ASSERT_EQ(noise.size(), 4u);
  const std::uint32_t silenceStart = sent[lastVoice].timestamp + 160;
  const std::uint32_t noiseAt[] = {0, 85 * 8, 1090 * 8, 2095 * 8};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(noise[i]->timestamp - silenceStart, noiseAt[i]);
    EXPECT_EQ(noise[i]->payloadBytes, 1);
    EXPECT_FALSE(noise[i]->marker);
    EXPECT_NEAR(noise[i]->time - noise[0]->time, noiseAt[i] / 8000.0, 0.03);
  }
  ASSERT_LT(resumed, sent.size());
  EXPECT_EQ(sent[resumed].payloadType, 0);
  EXPECT_TRUE(sent[resumed].marker) << "speech resumes with the marker";
  EXPECT_FALSE(sent[resumed + 1].marker);

  // The digits: the last forty µ-law packets, five bursts of eight.
  std::vector<RtpSeen> digits;
  for (const RtpSeen& p : sent) {
    if (p.payloadType == 0) digits.push_back(p);
  }
  ASSERT_GE(digits.size(), 40u);
  digits.erase(digits.begin(), digits.end() - 40);
  for (int burst = 0; burst < 5; ++burst) {
    for (int k = 0; k < 8; ++k) {
      const RtpSeen& p = digits[burst * 8 + k];
      EXPECT_EQ(p.marker, k == 0);
      EXPECT_EQ(p.timestamp - digits[burst * 8].timestamp, 160u * k);
      EXPECT_LT(p.time - digits[burst * 8].time, 0.01) << "one burst";
    }
  }
  EXPECT_EQ(DecodeInBand(std::vector<RtpSeen>(digits.begin(), digits.begin() + 32)), "159#");
  for (int k = 32; k < 40; ++k) {
    EXPECT_TRUE(std::all_of(digits[k].payload.begin(), digits[k].payload.end(), [](std::uint8_t b) {
      return ulaw_to_linear(b) == 0;
    })) << "A is silence";
  }

  // The echo of our tone, before the digits came back too.
  std::vector<std::int32_t> echo = ReadWav(heard);
  echo.resize(std::min<std::size_t>(echo.size(), 4600 * 8));
  EXPECT_TRUE(HoldsTone(echo, kOurTone, 80));
}

TEST(SippCall, AnsweredCallHearsItsOwnToneInTheEcho) {
  if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing;
  testing::TempFolder folder("media");
  const std::uint16_t legPort = FreeLoopbackPort();
  const std::uint16_t sippPort = FreeLoopbackPort();
  const std::uint16_t mediaPort = FreeEvenPortPair();
  const std::uint16_t rtpBase = FreeEvenPortPair();
  ASSERT_TRUE(legPort != 0 && sippPort != 0 && legPort != sippPort && mediaPort != 0 && rtpBase != 0);
  const std::string tone = folder.Sub("tone.wav");
  const std::string heard = folder.Sub("heard.wav");
  ASSERT_TRUE(WriteTone(tone, kOurTone, 3));
  std::vector<std::string> legArgs{CORVINA_MEDIA_LEG, "--answer", std::to_string(legPort), "--rtp-base",
                                   std::to_string(rtpBase), "--play", tone, "--record", heard, "--seconds", "3"};
  testing::ChildProcess leg(legArgs, {});
  std::string line;
  ASSERT_TRUE(leg.WaitForLine("rtp-port ", &line, 10000));
  testing::ChildProcess sipp({"/usr/bin/sipp", "127.0.0.1:" + std::to_string(legPort), "-sf",
                              std::string(CORVINA_INTEROP_DATA) + "/uac_pcmu_echo.xml", "-i", "127.0.0.1", "-p",
                              std::to_string(sippPort), "-mi", "127.0.0.1", "-mp", std::to_string(mediaPort),
                              "-rtp_echo", "-m", "1", "-nostdin", "-timeout", "30s"},
                             {});
  ASSERT_TRUE(leg.WaitForLine("codec ", &line, 10000));
  EXPECT_EQ(line, "codec 0 cn 255 event 255");
  ASSERT_TRUE(leg.WaitForLine("ended", &line, 20000));
  EXPECT_EQ(leg.Wait(5000), 0);
  EXPECT_EQ(sipp.Wait(10000), 0) << "SIPp saw the call through";
  EXPECT_TRUE(HoldsTone(ReadWav(heard), kOurTone));
}

}  // namespace
}  // namespace corvina::interop
