#include "tests/media/support/test_audio.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>

namespace corvina::media::testing {
namespace {

// The scratch folder of this test process, removed again when the process ends.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(std::filesystem::temp_directory_path() / ("corvina-media-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const std::filesystem::path& Scratch() {
  static const ScratchFolder folder;
  return folder.Path();
}

// The fixture's file when the test run made it; otherwise one made here by the same script.
std::vector<std::int16_t> LoadSpeech() {
  std::string path = CORVINA_SPEECH_FILE;
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) == 0 || ec) {
    path = ScratchPath("speech-8k.raw");
    if (RunCommand(std::string("'") + CORVINA_SPEECH_SCRIPT + "' '" + path + "'") != 0) return {};
  }
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return samples;
}

}  // namespace

const std::vector<std::int16_t>& TestSpeech() {
  static const std::vector<std::int16_t> speech = LoadSpeech();
  return speech;
}

std::vector<std::int16_t> Tone(double frequency, double amplitude, std::size_t count) {
  std::vector<std::int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / 8000.0;
    samples[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
  }
  return samples;
}

std::vector<std::int32_t> ToInternal(const std::vector<std::int16_t>& samples) {
  std::vector<std::int32_t> out(samples.size());
  std::transform(samples.begin(), samples.end(), out.begin(), [](std::int16_t v) { return v * 16; });
  return out;
}

double SegmentalSnr(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& test,
                    std::size_t delay) {
  constexpr std::size_t kSegment = 160;
  constexpr double kSilenceEnergy = 160.0 * 100.0 * 100.0;  // below about -50 dBFS
  double total = 0.0;
  int segments = 0;
  for (std::size_t start = 0; start + kSegment <= reference.size() && start + delay + kSegment <= test.size();
       start += kSegment) {
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = start; i < start + kSegment; ++i) {
      const double r = reference[i];
      const double e = r - test[i + delay];
      signal += r * r;
      noise += e * e;
    }
    if (signal < kSilenceEnergy) continue;
    double snr = noise == 0.0 ? 60.0 : 10.0 * std::log10(signal / noise);
    total += std::clamp(snr, -10.0, 60.0);
    ++segments;
  }
  return segments == 0 ? 0.0 : total / segments;
}

std::string ScratchPath(const std::string& name) { return (Scratch() / name).string(); }

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<std::uint8_t> MakeWavFile(int channels, std::uint32_t rate, int bits, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> f;
  auto put = [&f](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto tag = [&f](const char* t) { f.insert(f.end(), t, t + 4); };
  const int block = channels * bits / 8;
  tag("RIFF");
  put(static_cast<std::uint32_t>(36 + data.size()), 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(1, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * block, 4);
  put(block, 2);
  put(bits, 2);
  tag("data");
  put(static_cast<std::uint32_t>(data.size()), 4);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

}  // namespace corvina::media::testing
