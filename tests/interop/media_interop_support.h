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
#include "tests/interop/baresip_peer.h"
#include "tests/interop/sip_test_endpoint.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace corvina::interop {

// Why a test cannot run here (empty when it can): the peers and capturing need these.
inline std::string MissingTools() {
  if (geteuid() != 0) return "tshark captures on lo as root only";
  for (const char* tool : {"/usr/bin/tshark", "/usr/bin/baresip", "/usr/bin/sipp"}) {
    if (access(tool, X_OK) != 0) return std::string(tool) + " is missing";
  }
  return {};
}

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
