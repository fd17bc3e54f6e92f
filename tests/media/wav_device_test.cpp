// WAV file devices through the device threads:
// - `wav:` capture into the chain and `wav:` playback out of it give back the signal sample
//   for sample at 8000 Hz, and the file being written is complete (true sizes in its header)
//   while the call still runs;
// - a 44100 Hz file opens through the format ladder and comes out at 8000 Hz within the
//   stated error: tone level within 0.05 dB, everything else at least 70 dB below it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>

#include "media/audio_devices.h"
#include "media/capture_thread.h"
#include "media/playback_thread.h"
#include "media/sample_scale.h"
#include "media/wav_file.h"
#include "platform/null_audio.h"
#include "tests/media/support/test_audio.h"
#include "tests/media/support/test_doubles.h"
#include "tests/support/temp_folder.h"

namespace corvina::media {
namespace {

constexpr int kUnityVolume = 127;

// The chain between the two threads: what capture writes, playback reads.
class Fifo {
 public:
  AudioSinkPtr Writer() { return std::make_shared<End>(*this, true); }
  AudioSinkPtr Reader() { return std::make_shared<End>(*this, false); }

 private:
  struct End final : AudioSink {
    End(Fifo& fifo, bool writes) : AudioSink(8000, 1), fifo(fifo), writes(writes) {}
    std::size_t Transfer(std::span<std::int32_t> samples) override {
      std::lock_guard lock(fifo.mutex);
      if (writes) {
        fifo.samples.insert(fifo.samples.end(), samples.begin(), samples.end());
        return samples.size();
      }
      std::size_t n = std::min(samples.size(), fifo.samples.size());
      std::copy_n(fifo.samples.begin(), n, samples.begin());
      std::fill(samples.begin() + static_cast<std::ptrdiff_t>(n), samples.end(), 0);
      fifo.samples.erase(fifo.samples.begin(), fifo.samples.begin() + static_cast<std::ptrdiff_t>(n));
      return n;
    }
    Fifo& fifo;
    const bool writes;
  };
  std::mutex mutex;
  std::deque<std::int32_t> samples;
};

// The 16-bit data of a file written by the playback device, when its header already states
// the true size of everything in it; nullopt otherwise.
std::optional<std::vector<std::int16_t>> CompleteFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = testing::ReadFileBytes(path);
  if (bytes.size() < 46) return std::nullopt;
  WavHeaderResult header = ParseWavHeader(std::span(bytes.data(), 46), bytes.size());
  std::uint32_t stated;
  std::memcpy(&stated, &bytes[42], 4);
  if (header.error != WavError::kNone || stated != bytes.size() - 46) return std::nullopt;
  std::vector<std::int16_t> samples(stated / 2);
  std::memcpy(samples.data(), &bytes[46], stated);
  return samples;
}

// Plays `in` through capture -> chain -> playback into `out` until `frames` have arrived.
std::vector<std::int16_t> RoundTrip(const std::string& in, const std::string& out, std::size_t frames,
                                    platform::AudioFormat* captureFormat) {
  platform::NullAudioSystem noCards;
  platform::NullLogSink log;
  platform::SystemMediaClock clock;
  AudioDevices devices(noCards, log);
  auto input = devices.OpenCapture("wav:" + in, {8000, 1});
  auto output = devices.OpenPlayback("wav:" + out, {8000, 1});
  if (!input.stream || !output.stream) return {};
  *captureFormat = input.stream->Format();

  Fifo chain;
  CaptureThread capture(std::move(input.stream), in, log, kUnityVolume);
  PlaybackThread playback(std::move(output.stream), out, log, clock, kUnityVolume);
  capture.SetChainHead(chain.Writer());
  playback.SetSource(chain.Reader());
  capture.Start();
  playback.Start();
  std::optional<std::vector<std::int16_t>> got;
  testing::Eventually([&] { return (got = CompleteFile(out)) && got->size() >= frames; }, 20000);
  capture.StopAndJoin();
  playback.StopAndJoin();
  return got.value_or(std::vector<std::int16_t>{});
}

TEST(WavDevices, CaptureIntoTheChainAndPlaybackOutOfItRoundTripSampleExactlyAt8000Hz) {
  corvina::testing::TempFolder folder("wavdev");
  std::vector<std::int32_t> signal(4000);
  std::uint32_t noise = 12345;
  for (std::size_t i = 0; i < signal.size(); ++i) {
    noise = noise * 1103515245u + 12345u;
    signal[i] = FromPcm16(static_cast<std::int16_t>(12000 * std::sin(i * 0.2) + static_cast<int>(noise >> 20) - 2048));
  }
  signal.front() = FromPcm16(32767);
  signal.back() = FromPcm16(-32768);
  WavWriter writer;
  ASSERT_EQ(writer.Create(folder.Sub("in.wav")), WavError::kNone);
  ASSERT_TRUE(writer.Write(signal));
  ASSERT_EQ(writer.Close(), WavError::kNone);

  platform::AudioFormat format;
  std::vector<std::int16_t> out = RoundTrip(folder.Sub("in.wav"), folder.Sub("out.wav"), signal.size(), &format);
  EXPECT_EQ(format, (platform::AudioFormat{8000, 1}));
  ASSERT_GE(out.size(), signal.size());
  for (std::size_t i = 0; i < signal.size(); ++i) ASSERT_EQ(FromPcm16(out[i]), signal[i]) << "sample " << i;
}

TEST(WavDevices, A44100HzFileOpensThroughTheLadderAndArrivesAt8000HzWithinTheStatedError) {
  corvina::testing::TempFolder folder("wavdev");
  constexpr double kHz = 1000.0;
  constexpr double kAmplitude = 8000.0;
  std::vector<std::int16_t> wide(44100);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(2 * M_PI * kHz * i / 44100.0)));
  }
  std::vector<std::uint8_t> data(wide.size() * 2);
  std::memcpy(data.data(), wide.data(), data.size());
  ASSERT_TRUE(testing::WriteFileBytes(folder.Sub("in.wav"), testing::MakeWavFile(1, 44100, 16, data)));

  platform::AudioFormat format;
  std::vector<std::int16_t> out = RoundTrip(folder.Sub("in.wav"), folder.Sub("out.wav"), 7000, &format);
  EXPECT_EQ(format, (platform::AudioFormat{44100, 1}));
  ASSERT_GE(out.size(), 7000u);

  // Least-squares fit of a 1000 Hz sine over the settled middle of the output.
  double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
  const std::size_t from = 1000, to = 6000;
  for (std::size_t i = from; i < to; ++i) {
    double s = std::sin(2 * M_PI * kHz * i / 8000.0), c = std::cos(2 * M_PI * kHz * i / 8000.0);
    ss += s * s, sc += s * c, cc += c * c, ys += out[i] * s, yc += out[i] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  double residual = 0;
  for (std::size_t i = from; i < to; ++i) {
    double e = out[i] - (a * std::sin(2 * M_PI * kHz * i / 8000.0) + b * std::cos(2 * M_PI * kHz * i / 8000.0));
    residual += e * e;
  }
  const double level = std::hypot(a, b);
  const double residualRms = std::sqrt(residual / static_cast<double>(to - from));
  EXPECT_NEAR(20 * std::log10(level / kAmplitude), 0.0, 0.05);
  EXPECT_GT(20 * std::log10((level / std::sqrt(2.0)) / residualRms), 70.0);
}

}  // namespace
}  // namespace corvina::media
