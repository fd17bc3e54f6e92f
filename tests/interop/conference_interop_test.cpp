// A three-way conference on the wire: the phone's microphone a 400 Hz tone at -1 dBFS, its
// speaker a WAV file; baresip A sends 700 Hz, baresip B 1300 Hz. The phone calls A and starts
// the conference, calls B on line 2 (the conference pauses: A hears nothing of the microphone
// meanwhile), presses Conference again and, 8 s later, hangs up, which ends both calls. Over
// the joined span, in nearly every 20 ms window, each party hears the other party and the
// microphone but not itself, and the speaker plays both parties but not the microphone; a loud
// sum clips and never wraps, so no recording jumps by more than full scale from one sample to
// the next (GSM's own overshoot aside). What the parties are sent is read from an RTP capture and decoded with the phone's
// own decoders (baresip 1.0 stops recording at the first re-INVITE).
#include "media/gsm_codec.h"
#include "tests/interop/media_interop_support.h"
#include "tests/support/phone_under_test.h"

namespace corvina::interop {
namespace {

constexpr double kMicrophoneHz = 400;
constexpr double kAHz = 700;
constexpr double kBHz = 1300;

struct ConferenceCase {
  const char* name;
  const char* codec;    // as baresip names it
  const char* quality;  // the phone's Quality: below 50 prefers GSM
  // The largest step between samples of what the parties are sent, once decoded, in full
  // scales. GSM's decoder overshoots by itself where the signal breaks off (a party's packet
  // late under load): up to full scale was seen from clipped sums, 1.7 to 2 from wrapped ones.
  double stepLimit;
};
void PrintTo(const ConferenceCase& c, std::ostream* out) { *out << c.name; }

// What was sent to a party from `from` to `to` (epoch seconds), PCMU or GSM decoded at the
// internal scale; one GSM decoder runs through the whole stream so that its state is the one
// the party had.
std::vector<std::int32_t> DecodedBetween(const std::vector<RtpSeen>& packets, double from, double to) {
  media::GsmDecoder gsm;
  std::vector<std::int32_t> out;
  std::vector<std::int32_t> frame;
  for (const RtpSeen& p : packets) {
    frame.clear();
    if (p.payloadType == 0) {
      for (std::uint8_t code : p.payload) frame.push_back(media::MulawDecodeSample(code));
    } else if (p.payloadType == 3) {
      frame.resize(p.payload.size() / media::kGsmFrameBytes * media::kFrameSamples);
      frame.resize(gsm.DecodePayload(p.payload, frame));
    }
    if (p.time >= from && p.time <= to) out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

// The level of the tone `hz` in a 20 ms window, in dB below full scale (50 Hz steps: every tone
// here runs a whole number of cycles per window, so the others leave no trace in it).
double LevelDb(const std::int32_t* window, double hz) {
  const double power = std::max(PowerAt(window, media::kFrameSamples, hz), 1.0);
  return 20 * std::log10(2 * std::sqrt(power) / media::kFrameSamples / media::kFullScale);
}

// Whether at least 90 % of the 20 ms windows of `samples` hold the tones tones[0] and tones[1] at
// -20 dBFS or louder with tones[2] at least 20 dB below the weaker of them, and no sample steps
// by more than `stepLimit` full scales from the one before. The figures go into the test's
// properties as `what`.
::testing::AssertionResult HearsOnly(const std::vector<std::int32_t>& samples, std::array<double, 3> tones,
                                     const std::string& what, double stepLimit = 1) {
  int windows = 0;
  int good = 0;
  std::array<double, 3> sums{};  // of each tone's levels
  for (std::size_t at = 0; at + media::kFrameSamples <= samples.size(); at += media::kFrameSamples) {
    std::array<double, 3> levels{};
    for (std::size_t t = 0; t < 3; ++t) sums[t] += levels[t] = LevelDb(&samples[at], tones[t]);
    ++windows;
    const double weaker = std::min(levels[0], levels[1]);
    if (weaker >= -20 && levels[2] <= weaker - 20) ++good;
  }
  std::int64_t step = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    step = std::max(step, std::abs(static_cast<std::int64_t>(samples[i]) - samples[i - 1]));
  }
  std::ostringstream found;
  found.precision(3);
  found << what << ": " << good << " of " << windows << " windows (" << 100.0 * good / std::max(windows, 1)
        << " %); mean dBFS";
  for (std::size_t t = 0; t < 3; ++t) {
    found << " " << static_cast<int>(tones[t]) << " Hz " << sums[t] / std::max(windows, 1);
  }
  found << "; largest step " << 100.0 * static_cast<double>(step) / media::kFullScale << " % of full scale";
  ::testing::Test::RecordProperty(what, found.str());
  if (windows >= 300 && good * 10 >= windows * 9 && step <= stepLimit * media::kFullScale) {
    return ::testing::AssertionSuccess() << found.str();
  }
  return ::testing::AssertionFailure() << found.str();
}

class ConferenceAudio : public ::testing::TestWithParam<ConferenceCase> {};

TEST_P(ConferenceAudio, EachPartyHearsTheOthersAndTheMicrophoneButNotItself) {
  const ConferenceCase c = GetParam();
  if (!MissingTools().empty() || access("/usr/bin/sox", X_OK) != 0) GTEST_SKIP() << MissingTools() << " (or sox)";
  testing::TempFolder folder("cf");
  const std::string tone = folder.Sub("tone.wav");
  testing::ChildProcess sox({"/usr/bin/sox", "-n", "-r", "8000", "-c", "1", "-b", "16", tone, "synth", "30", "sine",
                             std::to_string(static_cast<int>(kMicrophoneHz)), "vol", "-1dB"}, {});
  ASSERT_EQ(sox.Wait(10000), 0);
  const std::string heard = folder.Sub("heard.wav");
  testing::PhoneUnderTest phone(folder.Sub("phone"), {{"SIP", "Port", std::to_string(testing::FreeUdpPort())},
                                                      {"SIP", "RTPPortBase", std::to_string(FreeEvenPortPair())},
                                                      {"SIP", "Quality", c.quality},
                                                      {"Settings", "Record", "wav:" + tone},
                                                      {"Settings", "PlayDevice", "wav:" + heard},
                                                      {"Settings", "UseEchoCancellation", "0"},
                                                      {"Settings", "UseAGC", "0"}});
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  Baresip a(static_cast<int>(kAHz), c.codec);
  Baresip b(static_cast<int>(kBHz), c.codec);
  ASSERT_TRUE(a.WaitReady() && b.WaitReady()) << a.Log() << b.Log();
  const std::unique_ptr<Capture> capture = CaptureRtpTo(folder, {&a, &b});
  ASSERT_TRUE(capture);

  ASSERT_EQ(phone.Ask("dial " + a.Target()), "ok {\"line\":1}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"line\":1", "\"state\":\"Connected\""}, 10000)) << a.Log();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(phone.Ask("conference"), "ok {\"exists\":true,\"running\":true,\"buttonState\":1,\"members\":2}");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const double paused = EpochSeconds() + 0.3;  // once the last microphone packets are out
  ASSERT_EQ(phone.Ask("dial " + b.Target()), "ok {\"line\":2}");
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"line\":2", "\"state\":\"Connected\""}, 10000)) << b.Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const double resumePressed = EpochSeconds();
  EXPECT_EQ(phone.Ask("conference"), "ok {\"exists\":true,\"running\":true,\"buttonState\":1,\"members\":3}");
  const double joined = EpochSeconds() + 0.5;  // the parties' first mixed packets are out
  std::this_thread::sleep_for(std::chrono::seconds(8));
  // The joined span of the speaker: the file starts anew when the conference's audio does.
  const std::string speaker = folder.Sub("speaker.wav");
  ASSERT_TRUE(std::filesystem::copy_file(heard, speaker));
  const double hangUpPressed = EpochSeconds();
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"conference\":true}");
  for (const char* line : {"\"line\":1", "\"line\":2"}) {
    EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", line, "\"state\":\"Idle\""}, 5000)) << line;
  }
  for (const Baresip* party : {&a, &b}) {
    EXPECT_TRUE(PollUntil([&] { return party->Log().find(" terminated (duration") != std::string::npos; }, 5000))
        << party->Log();
  }
  EXPECT_EQ(phone.Quit(), 0);

  const std::string pcap = capture->Finish();
  const std::vector<RtpSeen> toA = SentTo(pcap, a);
  const std::vector<RtpSeen> toB = SentTo(pcap, b);
  EXPECT_EQ(MeasureTone(DecodedBetween(toA, paused, resumePressed), kMicrophoneHz).right, 0) << "A while paused";
  EXPECT_TRUE(HearsOnly(DecodedBetween(toA, joined, hangUpPressed), {kBHz, kMicrophoneHz, kAHz}, "sent_to_A",
                        c.stepLimit));
  EXPECT_TRUE(HearsOnly(DecodedBetween(toB, joined, hangUpPressed), {kAHz, kMicrophoneHz, kBHz}, "sent_to_B",
                        c.stepLimit));
  const std::vector<std::int32_t> played = ReadWav(speaker);
  const auto mixed = played.begin() + std::min<std::ptrdiff_t>(std::ssize(played), 4000);  // as `joined`
  EXPECT_TRUE(HearsOnly({mixed, played.end()}, {kAHz, kBHz, kMicrophoneHz}, "speaker"));
}

INSTANTIATE_TEST_SUITE_P(Codecs, ConferenceAudio,
                         ::testing::Values(ConferenceCase{"PCMU", "PCMU/8000/1", "50", 1},
                                           ConferenceCase{"GSM", "GSM/8000/1", "40", 1.5}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvina::interop
