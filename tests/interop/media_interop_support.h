// What the media interop tests share: baresip and tshark run as child processes on loopback,
// the RTP a capture holds read back through tshark's own decoder, WAV files written and read,
// the dominant frequency of 20 ms windows, and the media leg driver run as a program.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/wav_file.h"
#include "tests/interop/sip_test_endpoint.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace corvina::interop {

using sip::interop::FreeLoopbackPort;

// Why a test cannot run here (empty when it can): the peers and capturing need these.
inline std::string MissingTools() {
  if (geteuid() != 0) return "tshark captures on lo as root only";
  for (const char* tool : {"/usr/bin/tshark", "/usr/bin/baresip", "/usr/bin/sipp"}) {
    if (access(tool, X_OK) != 0) return std::string(tool) + " is missing";
  }
  return {};
}

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// Polls `done` every 20 ms until it holds or `timeoutMs` has passed.
template <typename Condition>
bool PollUntil(Condition done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// An even port whose pair (port, port + 1) is free now, from a spread-out range.
inline std::uint16_t FreeEvenPortPair() {
  static int asked = 0;  // the test's thread: each call starts somewhere else
  for (int tries = 0; tries < 200; ++tries) {
    const int step = ++asked;
    const std::uint16_t port = static_cast<std::uint16_t>(20000 + 2 * ((getpid() * 7919 + step * 104729) % 10000));
    platform::UdpSocket a;
    platform::UdpSocket b;
    if (a.Bind({0, port}).Ok() && b.Bind({0, static_cast<std::uint16_t>(port + 1)}).Ok()) return port;
  }
  return 0;
}

// A child stopped by its own PID: SIGTERM first (so tshark finishes its file), SIGKILL after.
inline int StopChild(testing::ChildProcess& child, int timeoutMs = 5000) {
  if (child.Pid() <= 0) return -1;
  kill(child.Pid(), SIGTERM);
  return child.Wait(timeoutMs);
}

// baresip answering automatically on 127.0.0.1, sending a sine of `sineHz` and recording what
// it decodes (sndfile), offering only `codec` (e.g. "PCMU/8000/1").
class Baresip {
 public:
  // The folder's path is kept short: sndfile cuts the names of its recordings at a fixed length.
  Baresip(int sineHz, const std::string& codec) {
    char folder[] = "/tmp/cvbsXXXXXX";
    dir_ = mkdtemp(folder) != nullptr ? folder : "/tmp/cvbs-failed";
    std::filesystem::create_directories(dir_ + "/snd");
    sipPort_ = FreeLoopbackPort();
    const std::uint16_t control = FreeLoopbackPort();
    const std::uint16_t rtp = FreeEvenPortPair();
    {
      // Written and closed before baresip starts and reads it.
      std::ofstream config(dir_ + "/config");
      config << "poll_method epoll\nsip_listen 127.0.0.1:" << sipPort_ << "\nnet_interface 127.0.0.1\n"
             << "audio_player alsa,null\naudio_alert alsa,null\naudio_source ausine," << sineHz << "\n"
             << "ausrc_srate 48000\nausrc_channels 2\nauplay_srate 48000\nauplay_channels 1\n"
             << "module_path /usr/lib/baresip/modules\nmodule g711.so\nmodule gsm.so\nmodule g726.so\n"
             << "module ausine.so\nmodule alsa.so\nmodule sndfile.so\nmodule_app account.so\n"
             << "module_app ctrl_tcp.so\nctrl_tcp_listen 127.0.0.1:" << control << "\nsnd_path " << dir_ << "/snd\n"
             << "rtp_ports " << rtp << "-" << rtp + 20 << "\n";
    }
    std::ofstream(dir_ + "/accounts") << "<sip:bob@127.0.0.1>;regint=0;answermode=auto;audio_codecs=" << codec << "\n";
    std::ofstream(dir_ + "/contacts") << "";
    child_ = std::make_unique<testing::ChildProcess>(
        std::vector<std::string>{"/bin/sh", "-c", "exec baresip -f " + dir_ + " > " + dir_ + "/log 2>&1"},
        std::vector<std::string>{});
  }
  ~Baresip() {
    StopChild(*child_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  bool WaitReady() {
    return PollUntil([&] { return Log().find("baresip is ready.") != std::string::npos; }, 10000);
  }
  std::string Log() const { return ReadWhole(dir_ + "/log"); }
  std::uint16_t SipPort() const { return sipPort_; }
  std::string Target() const { return "sip:bob@127.0.0.1:" + std::to_string(sipPort_); }
  // What baresip decoded from us.
  std::string DecodedFile() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir_ + "/snd")) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 8 && name.compare(name.size() - 8, 8, "-dec.wav") == 0) return entry.path().string();
    }
    return {};
  }

 private:
  std::string dir_;
  std::uint16_t sipPort_ = 0;
  std::unique_ptr<testing::ChildProcess> child_;
};

// tshark on lo, writing every UDP datagram of `filter` to a file.
class Capture {
 public:
  Capture(const testing::TempFolder& folder, const std::string& filter) : file_(folder.Sub("capture.pcap")) {
    child_ = std::make_unique<testing::ChildProcess>(
        std::vector<std::string>{"/usr/bin/tshark", "-i", "lo", "-f", filter, "-w", file_}, std::vector<std::string>{});
  }
  ~Capture() { StopChild(*child_); }
  // tshark says "Capturing on 'Loopback: lo'" once the capture runs.
  bool WaitRunning() {
    std::string errors;
    return PollUntil([&] {
      errors += child_->ReadAllErrors(50);
      return errors.find("Capturing on") != std::string::npos;
    }, 10000);
  }
  // Stops the capture and gives the file.
  std::string Finish() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last datagrams are written
    StopChild(*child_);
    return file_;
  }

 private:
  std::string file_;
  std::unique_ptr<testing::ChildProcess> child_;
};

struct RtpSeen {
  double time = 0;
  unsigned dscp = 0;
  int srcPort = 0;
  int dstPort = 0;
  int payloadBytes = 0;
  bool firstByteIs0x80 = false;
  bool marker = false;
  int payloadType = 0;
  unsigned sequence = 0;
  std::uint32_t timestamp = 0;
  std::vector<std::uint8_t> payload;
};

// "0a1b..." or "0a:1b:..." as bytes.
inline std::vector<std::uint8_t> HexBytes(std::string text) {
  std::erase(text, ':');
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 2 <= text.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Every datagram of the capture sent from `port`, decoded as RTP by tshark.
inline std::vector<RtpSeen> ReadRtpFrom(const std::string& pcap, int port) {
  const std::string command = "/usr/bin/tshark -r " + pcap + " -d udp.port==" + std::to_string(port) +
                              ",rtp -Y udp.srcport==" + std::to_string(port) +
                              " -T fields -E separator=';' -e frame.time_relative -e ip.dsfield -e udp.srcport"
                              " -e udp.dstport -e udp.length -e rtp.version -e rtp.padding -e rtp.ext -e rtp.cc"
                              " -e rtp.marker -e rtp.p_type -e rtp.seq -e rtp.timestamp -e rtp.payload 2>/dev/null";
  std::vector<RtpSeen> out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char line[8192];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::vector<std::string> f;
    std::stringstream in(line);
    std::string part;
    while (std::getline(in, part, ';')) f.push_back(part);
    if (f.size() < 13 || f[5].empty()) continue;
    RtpSeen p;
    p.time = std::stod(f[0]);
    p.dscp = static_cast<unsigned>(std::stoul(f[1], nullptr, 16)) >> 2;
    p.srcPort = std::stoi(f[2]);
    p.dstPort = std::stoi(f[3]);
    p.payloadBytes = std::stoi(f[4]) - 8 - 12;
    p.firstByteIs0x80 = f[5] == "2" && (f[6] == "0" || f[6] == "False") && (f[7] == "0" || f[7] == "False") &&
                        f[8] == "0";
    p.marker = f[9] == "1" || f[9] == "True";
    p.payloadType = std::stoi(f[10]);
    p.sequence = static_cast<unsigned>(std::stoul(f[11]));
    p.timestamp = static_cast<std::uint32_t>(std::stoul(f[12]));
    if (f.size() > 13) {
      std::string hex = f[13];
      while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r')) hex.pop_back();
      p.payload = HexBytes(hex);
    }
    out.push_back(std::move(p));
  }
  pclose(pipe);
  return out;
}

// Datagrams of the capture from `port` at all (decoded or not).
inline int CountFrom(const std::string& pcap, int port) {
  const std::string command =
      "/usr/bin/tshark -r " + pcap + " -Y udp.srcport==" + std::to_string(port) + " 2>/dev/null | wc -l";
  FILE* pipe = popen(command.c_str(), "r");
  int n = -1;
  if (pipe != nullptr && std::fscanf(pipe, "%d", &n) != 1) n = -1;
  if (pipe != nullptr) pclose(pipe);
  return n;
}

struct ToneSegment {
  double hz;  // 0: silence
  double seconds;
};

// An 8000 Hz mono WAV file of tone and silence segments.
inline bool WriteSegments(const std::string& path, const std::vector<ToneSegment>& segments) {
  media::WavWriter writer;
  if (writer.Create(path) != media::WavError::kNone) return false;
  for (const ToneSegment& segment : segments) {
    std::vector<std::int32_t> samples(static_cast<std::size_t>(segment.seconds * 8000));
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<std::int32_t>(16 * 12000 * std::sin(2 * M_PI * segment.hz * static_cast<double>(i) / 8000));
    }
    if (!writer.Write(samples)) return false;
  }
  return writer.Close() == media::WavError::kNone;
}

inline bool WriteTone(const std::string& path, double hz, double seconds) { return WriteSegments(path, {{hz, seconds}}); }

inline std::vector<std::int32_t> ReadWav(const std::string& path) {
  media::WavReader reader;
  std::vector<std::int32_t> all;
  if (reader.Open(path) != media::WavError::kNone || reader.Format().sampleRate != 8000) return all;
  std::vector<std::int32_t> block(1024);
  while (std::size_t n = reader.ReadMono(block)) all.insert(all.end(), block.begin(), block.begin() + n);
  return all;
}

struct ToneWindows {
  int loud = 0;   // 20 ms windows above the noise floor
  int right = 0;  // of those, dominated by the expected frequency (within 50 Hz)
};

// The dominant frequency of every loud 20 ms window, on a 50 Hz grid from 100 to 3900 Hz.
inline ToneWindows CountToneWindows(const std::vector<std::int32_t>& samples, double hz) {
  ToneWindows result;
  constexpr std::size_t kWindow = 160;
  for (std::size_t at = 0; at + kWindow <= samples.size(); at += kWindow) {
    double energy = 0;
    for (std::size_t i = 0; i < kWindow; ++i) energy += static_cast<double>(samples[at + i]) * samples[at + i];
    if (std::sqrt(energy / kWindow) < 16 * 300) continue;
    ++result.loud;
    double best = 0;
    double bestHz = 0;
    for (double f = 100; f < 3950; f += 50) {
      double re = 0;
      double im = 0;
      for (std::size_t i = 0; i < kWindow; ++i) {
        re += samples[at + i] * std::cos(2 * M_PI * f * static_cast<double>(i) / 8000);
        im += samples[at + i] * std::sin(2 * M_PI * f * static_cast<double>(i) / 8000);
      }
      if (re * re + im * im > best) {
        best = re * re + im * im;
        bestHz = f;
      }
    }
    if (std::abs(bestHz - hz) <= 50) ++result.right;
  }
  return result;
}

// The media leg driver run as a program; its standard output lines are kept.
struct LegRun {
  int status = -1;
  std::vector<std::string> lines;
  std::string Line(const std::string& prefix) const {
    for (const std::string& l : lines) {
      if (l.rfind(prefix, 0) == 0) return l.substr(prefix.size());
    }
    return {};
  }
};

inline LegRun RunLeg(const std::vector<std::string>& args, int timeoutMs = 60000) {
  std::vector<std::string> argv{CORVINA_MEDIA_LEG};
  argv.insert(argv.end(), args.begin(), args.end());
  testing::ChildProcess leg(argv, {});
  LegRun run;
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (leg.ReadLine(&line, 500)) {
      run.lines.push_back(line);
      continue;
    }
    run.status = leg.Wait(1);
    if (run.status != -1) break;
  }
  while (leg.ReadLine(&line, 100)) run.lines.push_back(line);
  if (run.status == -1) run.status = StopChild(leg);
  return run;
}

}  // namespace corvina::interop
