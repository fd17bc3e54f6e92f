// What the media interop tests share: baresip and tshark run as child processes on loopback,
// the RTP a capture holds read back through tshark's own decoder, WAV files written and read,
// the dominant frequency of a recording, and the media leg driver run as a program.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "media/g711.h"
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

// The datagrams of the capture that tshark's `options` select and decode as RTP; times are
// seconds since the epoch.
inline std::vector<RtpSeen> ReadRtp(const std::string& pcap, const std::string& options) {
  const std::string command = "/usr/bin/tshark -r " + pcap + " " + options +
                              " -T fields -E separator=';' -e frame.time_epoch -e ip.dsfield -e udp.srcport"
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

// Every datagram of the capture sent from `port`, decoded as RTP.
inline std::vector<RtpSeen> ReadRtpFrom(const std::string& pcap, int port) {
  return ReadRtp(pcap, "-d udp.port==" + std::to_string(port) + ",rtp -Y udp.srcport==" + std::to_string(port));
}

// The RTP sent to ports `first` to `first` + `count` - 1, found by tshark's heuristic. The
// heuristic goes first: our test ports include ports tshark gives to other protocols (27950 is
// quake3's), whose dissectors would otherwise take the datagrams.
inline std::vector<RtpSeen> ReadRtpTo(const std::string& pcap, int first, int count) {
  return ReadRtp(pcap, "--enable-heuristic rtp_udp -o udp.try_heuristic_first:TRUE -Y 'rtp && udp.dstport>=" +
                           std::to_string(first) +
                           " && udp.dstport<" + std::to_string(first + count) + "'");
}

// The µ-law payloads of `packets` sent from `from` to `to` (seconds since the epoch), decoded.
inline std::vector<std::int32_t> PcmuBetween(const std::vector<RtpSeen>& packets, double from, double to) {
  std::vector<std::int32_t> samples;
  for (const RtpSeen& p : packets) {
    if (p.payloadType != 0 || p.time < from || p.time > to) continue;
    for (std::uint8_t code : p.payload) samples.push_back(media::MulawDecodeSample(code));
  }
  return samples;
}

// A capture of the RTP sent to the baresip peers `peers` (and of what `orAlso`, a capture filter,
// selects).
inline std::unique_ptr<Capture> CaptureRtpTo(const testing::TempFolder& folder, const std::vector<const Baresip*>& peers,
                                             const std::string& orAlso = {}) {
  std::string filter = orAlso;
  for (const Baresip* peer : peers) {
    filter += (filter.empty() ? "udp dst portrange " : " or udp dst portrange ") +
              std::to_string(peer->FirstRtpPort()) + "-" +
              std::to_string(peer->FirstRtpPort() + Baresip::kRtpPorts - 1);
  }
  auto capture = std::make_unique<Capture>(folder, filter);
  return capture->WaitRunning() ? std::move(capture) : nullptr;
}

// The RTP `pcap` holds that was sent to `peer`.
inline std::vector<RtpSeen> SentTo(const std::string& pcap, const Baresip& peer) {
  return ReadRtpTo(pcap, peer.FirstRtpPort(), Baresip::kRtpPorts);
}

// Now on the clock of a capture's times.
inline double EpochSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
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
  double hz = 0;  // the dominant frequency of the loud signal to 0.5 Hz; 0 without a loud second
};

// The power of `samples` (8000 Hz) at `hz`, by the Goertzel recurrence.
inline double PowerAt(const std::int32_t* samples, std::size_t n, double hz) {
  const double k = 2 * std::cos(2 * M_PI * hz / 8000);
  double s1 = 0;
  double s2 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double s0 = samples[i] + k * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// Looks at the tone in a recording: each loud 20 ms window's dominant frequency on a 50 Hz grid
// from 100 to 3900 Hz (counted against `hz`), then the dominant frequency of the whole to 0.5 Hz:
// the power summed over up to eight 1 s stretches that are loud in at least 45 of their 50
// windows, scanned at 0.5 Hz steps 50 Hz either side of the grid frequency with the most power.
inline ToneWindows MeasureTone(const std::vector<std::int32_t>& samples, double hz) {
  ToneWindows result;
  constexpr std::size_t kWindow = 160;
  constexpr std::size_t kStretchWindows = 50;
  std::vector<double> gridPower(77);  // 100, 150, ... 3900 Hz
  std::vector<bool> loud;
  for (std::size_t at = 0; at + kWindow <= samples.size(); at += kWindow) {
    double energy = 0;
    for (std::size_t i = 0; i < kWindow; ++i) energy += static_cast<double>(samples[at + i]) * samples[at + i];
    loud.push_back(std::sqrt(energy / kWindow) >= 16 * 300);
    if (!loud.back()) continue;
    ++result.loud;
    std::size_t best = 0;
    double bestPower = -1;
    for (std::size_t bin = 0; bin < gridPower.size(); ++bin) {
      const double power = PowerAt(&samples[at], kWindow, 100 + 50.0 * static_cast<double>(bin));
      gridPower[bin] += power;
      if (power > bestPower) {
        bestPower = power;
        best = bin;
      }
    }
    if (std::abs(100 + 50.0 * static_cast<double>(best) - hz) <= 50) ++result.right;
  }
  std::vector<std::size_t> stretches;  // their first samples
  for (std::size_t w = 0; w + kStretchWindows <= loud.size() && stretches.size() < 8;) {
    if (loud[w] && std::count(loud.begin() + static_cast<long>(w), loud.begin() + static_cast<long>(w + kStretchWindows),
                              true) >= 45) {
      stretches.push_back(w * kWindow);
      w += kStretchWindows;
    } else {
      ++w;
    }
  }
  if (stretches.empty()) return result;
  const double coarse =
      100 + 50.0 * static_cast<double>(std::max_element(gridPower.begin(), gridPower.end()) - gridPower.begin());
  double bestPower = -1;
  for (double f = std::max(coarse - 50, 1.0); f <= coarse + 50; f += 0.5) {
    double power = 0;
    for (std::size_t from : stretches) power += PowerAt(&samples[from], kStretchWindows * kWindow, f);
    if (power > bestPower) {
      bestPower = power;
      result.hz = f;
    }
  }
  return result;
}

// Whether a recording holds a tone of `hz`: more than `minLoud` loud windows, `percent` % of
// them on `hz`, and its dominant frequency within 2 % of `hz` (kept as a test property).
inline ::testing::AssertionResult HoldsTone(const std::vector<std::int32_t>& samples, double hz, int minLoud = 100,
                                            int percent = 95) {
  const ToneWindows tone = MeasureTone(samples, hz);
  std::ostringstream found;
  found << tone.loud << " loud windows, " << tone.right << " of them at " << hz << " Hz, dominant " << tone.hz
        << " Hz";
  ::testing::Test::RecordProperty("dominant_hz_for_" + std::to_string(static_cast<int>(hz)), std::to_string(tone.hz));
  if (tone.loud > minLoud && tone.right >= tone.loud * percent / 100 && std::abs(tone.hz - hz) <= hz * 0.02) {
    return ::testing::AssertionSuccess() << found.str();
  }
  return ::testing::AssertionFailure() << found.str();
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
