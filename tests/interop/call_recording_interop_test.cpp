// Call recordings: to a WAV file (started by `record` or `Auto`, with baresip or a SIPp peer that
// sends no RTP, or cut by killing the phone) and over the Orrin link to corvina-orrin-server and
// to servers that fail, while the call and its audio go on.
#include "tests/interop/call_audio_support.h"

namespace corvina::interop {
namespace {

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
