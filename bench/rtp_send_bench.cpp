// Processor cost of the send side of one call: the voice sender cutting, encoding and
// packetising one second of audio (50 frames, every frame sent, no comfort noise) and handing
// each datagram to a transport that only counts it. Printed figure per codec:
//   rtp send cpu per call <codec>: processor time per second of audio, in % of one core.
// (rtp_session_bench gives the whole call, both directions.)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/rtp_sender.h"
#include "platform/clock.h"

namespace {

using namespace corvina;
using namespace corvina::media;

constexpr int kSecond = 8000;
constexpr int kCaptureBlock = 160;

double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// One second of a voiced sound: a 120 Hz pulse train through two resonances, plus noise.
const std::vector<std::int32_t>& Voice() {
  static const std::vector<std::int32_t> voice = [] {
    std::vector<std::int32_t> s(kSecond);
    double y1 = 0, y2 = 0, z1 = 0, z2 = 0;
    std::uint32_t seed = 7;
    for (int i = 0; i < kSecond; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const double excitation = (i % 67 == 0 ? 60000.0 : 0.0) + static_cast<double>(seed >> 20) - 2048.0;
      const double a = excitation + 1.80 * y1 - 0.90 * y2;  // about 500 Hz
      y2 = y1;
      y1 = a;
      const double b = a * 0.2 + 0.60 * z1 - 0.85 * z2;  // about 1500 Hz
      z2 = z1;
      z1 = b;
      s[i] = static_cast<std::int32_t>(std::lround(std::clamp(0.5 * a + b, -500000.0, 500000.0)));
    }
    return s;
  }();
  return voice;
}

class CountingTransport final : public RtpTransport {
 public:
  void Send(std::span<const std::uint8_t> datagram, const platform::SocketAddress&) override {
    bytes += datagram.size();
  }
  std::uint64_t bytes = 0;
};

std::map<std::string, double>& Costs() {
  static std::map<std::string, double> costs;
  return costs;
}

void SendCost(benchmark::State& state, const char* codec, std::uint8_t payloadType) {
  platform::SystemMediaClock clock;
  auto sendState = std::make_shared<RtpSendState>(clock, RtpNumbering{1, 1, 1});
  auto transport = std::make_unique<CountingTransport>();
  CountingTransport* counted = transport.get();
  sendState->AttachTransport(std::move(transport));
  RtpRemote remote;
  remote.destination = {0x7F000001, 4000};
  remote.types.audio = payloadType;
  remote.types.g726 = 97;
  sendState->SetRemote(remote);
  // The pacer never holds the sender back here: the audio is not real time.
  RtpSender sender(sendState, [](int) {});
  std::vector<std::int32_t> block(kCaptureBlock);
  const double start = ThreadSeconds();
  for (auto _ : state) {
    for (int at = 0; at < kSecond; at += kCaptureBlock) {
      std::copy_n(Voice().begin() + at, kCaptureBlock, block.begin());
      sender.Transfer(block);
    }
  }
  benchmark::DoNotOptimize(counted->bytes);
  Costs()[codec] = 100.0 * (ThreadSeconds() - start) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("audio s/s");
}

BENCHMARK_CAPTURE(SendCost, pcmu, "PCMU", kPayloadPcmu);
BENCHMARK_CAPTURE(SendCost, pcma, "PCMA", kPayloadPcma);
BENCHMARK_CAPTURE(SendCost, g726, "G726-32", 97);
BENCHMARK_CAPTURE(SendCost, gsm, "GSM", kPayloadGsm);

void SendFigures(benchmark::State& state) {
  for (auto _ : state) {
  }
  for (const char* codec : {"PCMU", "PCMA", "G726-32", "GSM"}) {
    auto it = Costs().find(codec);
    if (it != Costs().end()) std::printf("figure: rtp send cpu per call %s = %.4f %% of one core\n", codec, it->second);
  }
  std::fflush(stdout);
}
BENCHMARK(SendFigures)->Iterations(1);

}  // namespace
