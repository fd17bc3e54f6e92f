// Cost of the capture-path processors per second of audio, and how well the echo suppressor
// does on synthetic calls made at run time. A far-end talker is played to the loudspeaker side
// in 100 ms blocks a little ahead of time; its echo (delayed 40..200 ms, 10 dB down, coloured by
// a few reflections and a low-pass) plus faint noise, and in double talk a near-end talker,
// reaches the microphone side in 20 ms blocks. Printed figures:
//   echo ERLE single talk: microphone power over output power while only the far end talks,
//     after 8 s of learning (output power floored at one internal unit per sample), and over
//     the first 2 s of a suppressor that has learned nothing yet;
//   near-end loss double talk: how far the near-end speech in the output lies below the
//     near-end speech at the microphone while both talk. The output is index-aligned with the
//     microphone (every sample comes out once, in order), so per 10 ms block a least-squares fit
//     of the output on the near-end and echo signals gives the gain the near end received;
//   suppressor cost / gain control cost: processor time for one second of audio, in % of one
//     core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "media/echo_suppressor.h"
#include "media/gain_control.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"

namespace {

using namespace corvina;
using media::AutomaticGainControl;
using media::EchoSuppressor;

constexpr int kRate = 8000;
constexpr int kCaptureBlock = 160;  // 20 ms
constexpr int kPlayBlock = 800;     // 100 ms
constexpr double kFullScale = 524288.0;

// A speech-like talker: talk spurts of 0.6..2 s between pauses of 0.2..0.8 s, syllables of
// about 200 ms under a raised-cosine envelope, each with its own two formants over the
// harmonics of a gliding fundamental, plus a little breath noise. RMS while talking is about
// `level` of full scale.
class Talker {
 public:
  Talker(double pitch, std::uint32_t seed, double level) : pitch_(pitch), seed_(seed), level_(level) {}

  std::vector<double> Make(int count) {
    std::vector<double> s(count, 0.0);
    int at = 0;
    while (at < count) {
      const int spurt = static_cast<int>(kRate * (0.6 + 1.4 * Uniform()));
      for (int end = std::min(count, at + spurt); at < end;) {
        const int syllable = static_cast<int>(kRate * (0.15 + 0.1 * Uniform()));
        const double f1 = 300 + 500 * Uniform();
        const double f2 = 900 + 1400 * Uniform();
        const double glide = 0.85 + 0.3 * Uniform();
        for (int i = 0; i < syllable && at < end; ++i, ++at) {
          const double env = 0.5 - 0.5 * std::cos(2 * M_PI * i / syllable);
          const double f0 = pitch_ * (glide + (1.0 - glide) * i / syllable);
          phase_ += 2 * M_PI * f0 / kRate;
          double v = 0.0;
          for (int h = 1; h * f0 < 3800; ++h) {
            const double f = h * f0;
            const double a = 1.0 / (1.0 + std::pow((f - f1) / 150.0, 2)) +
                             0.5 / (1.0 + std::pow((f - f2) / 200.0, 2)) + 0.03;
            v += a * std::sin(h * phase_);
          }
          v += 0.3 * (Uniform() - 0.5);
          s[at] = env * v;
        }
      }
      at += static_cast<int>(kRate * (0.2 + 0.6 * Uniform()));
    }
    // Scale to the wanted level over the talking samples.
    double sum = 0.0;
    int active = 0;
    for (double v : s) {
      if (v != 0.0) {
        sum += v * v;
        ++active;
      }
    }
    const double scale = active > 0 ? level_ * kFullScale / std::sqrt(sum / active) : 0.0;
    for (double& v : s) v *= scale;
    return s;
  }

 private:
  double Uniform() {
    seed_ = seed_ * 1664525u + 1013904223u;
    return (seed_ >> 8) / 16777216.0;
  }

  double pitch_;
  std::uint32_t seed_;
  double level_;
  double phase_ = 0.0;
};

// The loudspeaker-to-microphone path: delay, 10 dB of loss, three reflections, a gentle low-pass.
std::vector<double> Echo(const std::vector<double>& far, int delaySamples) {
  const struct {
    int at;
    double gain;
  } taps[] = {{0, 1.0}, {24, 0.4}, {56, -0.25}, {104, 0.15}};
  std::vector<double> echo(far.size(), 0.0);
  double lowPass = 0.0;
  for (std::size_t t = 0; t < far.size(); ++t) {
    double v = 0.0;
    for (const auto& tap : taps) {
      const std::int64_t i = static_cast<std::int64_t>(t) - delaySamples - tap.at;
      if (i >= 0) v += tap.gain * far[i];
    }
    lowPass += 0.6 * (v - lowPass);
    echo[t] = 0.32 * lowPass / 1.3;
  }
  return echo;
}

struct Call {
  std::vector<std::int32_t> far;   // to the loudspeaker
  std::vector<std::int32_t> mic;   // echo + near + noise
  std::vector<double> echo;        // echo part of mic
  std::vector<double> near;        // near-end part of mic
};

constexpr int kSingleTalkSeconds = 20;
constexpr int kDoubleTalkSeconds = 15;
constexpr int kLearnSeconds = 8;

Call MakeCall(int delayMs) {
  const int count = (kSingleTalkSeconds + kDoubleTalkSeconds) * kRate;
  Call call;
  const std::vector<double> far = Talker(120.0, 7u, 0.1).Make(count);
  call.echo = Echo(far, delayMs * kRate / 1000);
  const std::vector<double> talk = Talker(210.0, 99u, 0.1).Make(kDoubleTalkSeconds * kRate);
  call.near.assign(count, 0.0);
  std::copy(talk.begin(), talk.end(), call.near.begin() + kSingleTalkSeconds * kRate);
  std::uint32_t seed = 12345;
  call.far.resize(count);
  call.mic.resize(count);
  for (int t = 0; t < count; ++t) {
    seed = seed * 1664525u + 1013904223u;
    const double noise = 300.0 * ((seed >> 8) / 16777216.0 - 0.5);  // about -70 dB of full scale
    call.far[t] = static_cast<std::int32_t>(std::lround(far[t]));
    call.mic[t] = static_cast<std::int32_t>(std::lround(call.echo[t] + call.near[t] + noise));
  }
  return call;
}

// Runs a call through a fresh suppressor as the device threads would: the playback side keeps
// 100-200 ms queued ahead of what is heard, the capture side delivers each 20 ms block when
// it is complete.
std::vector<std::int32_t> RunCall(const Call& call) {
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  EchoSuppressor suppressor(settings);
  std::vector<std::int32_t> out;
  out.reserve(call.mic.size());
  std::uint64_t handed = 0;
  const std::size_t count = call.mic.size();
  for (std::size_t now = kCaptureBlock; now <= count; now += kCaptureBlock) {
    while (handed < now + kPlayBlock && handed + kPlayBlock <= count) {
      suppressor.FeedReference(std::span(call.far).subspan(handed, kPlayBlock), handed + kPlayBlock);
      handed += kPlayBlock;
    }
    suppressor.ProcessCapture(std::span(call.mic).subspan(now - kCaptureBlock, kCaptureBlock), now, out);
  }
  return out;
}

double Db(double ratio) { return 10.0 * std::log10(ratio); }

double Erle(const Call& call, const std::vector<std::int32_t>& out, std::size_t from, std::size_t to) {
  double in = 0.0, left = 0.0;
  for (std::size_t t = from; t < to && t < out.size(); ++t) {
    in += static_cast<double>(call.mic[t]) * call.mic[t];
    left += static_cast<double>(out[t]) * out[t] + 1.0;
  }
  return Db(in / left);
}

double NearEndLoss(const Call& call, const std::vector<std::int32_t>& out) {
  double near = 0.0, kept = 0.0;
  const std::size_t from = kSingleTalkSeconds * kRate;
  for (std::size_t b = from; b + 80 <= out.size(); b += 80) {
    double nn = 0, ee = 0, ne = 0, on = 0, oe = 0;
    for (std::size_t t = b; t < b + 80; ++t) {
      nn += call.near[t] * call.near[t];
      ee += call.echo[t] * call.echo[t];
      ne += call.near[t] * call.echo[t];
      on += out[t] * call.near[t];
      oe += out[t] * call.echo[t];
    }
    near += nn;
    const double det = nn * ee - ne * ne;
    if (nn <= 0.0) continue;
    const double g = det > 1e-9 * nn * ee && ee > 0.0 ? (on * ee - oe * ne) / det : on / nn;
    kept += g * g * nn;
  }
  return Db(near / std::max(kept, 1e-9));
}

// Processor time of the calling thread, in seconds: the cost does not depend on what else the
// machine runs.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double g_suppressorCost = -1.0;  // % of one core, from the last cost run
double g_gainControlCost = -1.0;

const Call& CostCall() {
  static const Call call = MakeCall(120);
  return call;
}

// One iteration: one second of double talk through the suppressor, both sides.
void SuppressorCost(benchmark::State& state) {
  const Call& call = CostCall();
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  EchoSuppressor suppressor(settings);
  std::vector<std::int32_t> out;
  out.reserve(2 * kRate);
  std::uint64_t handed = 0;
  std::size_t at = kSingleTalkSeconds * kRate;
  const double start = ThreadSeconds();
  for (auto _ : state) {
    out.clear();
    for (int p = 0; p < kRate / kPlayBlock; ++p) {
      suppressor.FeedReference(std::span(call.far).subspan(at + p * kPlayBlock, kPlayBlock), handed += kPlayBlock);
      for (int c = 0; c < kPlayBlock / kCaptureBlock; ++c) {
        suppressor.ProcessCapture(std::span(call.mic).subspan(at + p * kPlayBlock + c * kCaptureBlock, kCaptureBlock),
                                  handed - kPlayBlock, out);
      }
    }
    benchmark::DoNotOptimize(out.data());
    at = at + kRate + kRate <= call.mic.size() ? at + kRate : kSingleTalkSeconds * kRate;
  }
  g_suppressorCost = 100.0 * (ThreadSeconds() - start) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("audio s/s");
}
BENCHMARK(SuppressorCost);

// One iteration: one second of speech through the gain control in 20 ms blocks.
void GainControlCost(benchmark::State& state) {
  const Call& call = CostCall();
  AutomaticGainControl agc;
  std::vector<std::int32_t> block(kCaptureBlock);
  std::size_t at = kSingleTalkSeconds * kRate;
  const double start = ThreadSeconds();
  for (auto _ : state) {
    for (int c = 0; c < kRate / kCaptureBlock; ++c) {
      std::copy_n(call.mic.begin() + at + c * kCaptureBlock, kCaptureBlock, block.begin());
      agc.Process(block);
      benchmark::DoNotOptimize(block.data());
    }
    at = at + kRate + kRate <= call.mic.size() ? at + kRate : kSingleTalkSeconds * kRate;
  }
  g_gainControlCost = 100.0 * (ThreadSeconds() - start) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("audio s/s");
}
BENCHMARK(GainControlCost);

// The echo figures, once, over echo delays of 40, 120 and 200 ms (their mean is the headline
// figure); printed together with the costs measured above.
void EchoFigures(benchmark::State& state) {
  double erleSum = 0.0, lossSum = 0.0;
  int runs = 0;
  for (auto _ : state) {
    for (int delay : {40, 120, 200}) {
      const Call call = MakeCall(delay);
      const std::vector<std::int32_t> out = RunCall(call);
      const double erle = Erle(call, out, kLearnSeconds * kRate, kSingleTalkSeconds * kRate);
      const double early = Erle(call, out, 0, 2 * kRate);
      const double loss = NearEndLoss(call, out);
      std::printf("figure: echo ERLE single talk at %d ms = %.1f dB\n", delay, erle);
      std::printf("figure: near-end loss double talk at %d ms = %.1f dB\n", delay, loss);
      std::printf("figure: echo ERLE first 2 s of a new call at %d ms = %.1f dB\n", delay, early);
      erleSum += erle;
      lossSum += loss;
      ++runs;
    }
  }
  std::printf("figure: echo ERLE single talk = %.1f dB\n", erleSum / runs);
  std::printf("figure: near-end loss double talk = %.1f dB\n", lossSum / runs);
  if (g_suppressorCost >= 0) std::printf("figure: suppressor cost = %.4f %% of one core\n", g_suppressorCost);
  if (g_gainControlCost >= 0) std::printf("figure: gain control cost = %.4f %% of one core\n", g_gainControlCost);
  if (g_suppressorCost >= 0 && g_gainControlCost >= 0) {
    std::printf("figure: suppressor and gain control cost = %.4f %% of one core\n",
                g_suppressorCost + g_gainControlCost);
  }
  std::fflush(stdout);
}
BENCHMARK(EchoFigures)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
