// Processor cost of one call's RTP, both directions: per second of audio the voice sender cuts,
// encodes and packetises 50 frames (every frame sent, no comfort noise), and each datagram is
// filed in a jitter buffer, played out (decoded into the received-audio ring) and read by the
// device, as the receive thread does with what the peer sends. Printed figure per codec:
//   rtp cpu per call <codec>: processor time per second of call, in % of one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/audio_ring.h"
#include "media/receive_taps.h"
#include "media/rtp_receiver.h"
#include "media/rtp_sender.h"
#include "media/sample_scale.h"
#include "platform/clock.h"

namespace {

using namespace corvina;
using namespace corvina::media;

constexpr int kBlock = 160;
constexpr std::uint8_t kG726Type = 97;

double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// One second of a voiced sound (harmonics of 140 Hz).
std::vector<std::int32_t> Voice() {
  std::vector<std::int32_t> s(kSampleRate);
  for (int i = 0; i < kSampleRate; ++i) {
    double v = 0;
    for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * 140.0 * h * i / kSampleRate + h) / h;
    s[i] = static_cast<std::int32_t>(v * 7000.0 * 16);
  }
  return s;
}

// What the sender sends is what the receive side files, 20 ms apart on a fake clock.
class LoopTransport final : public RtpTransport {
 public:
  LoopTransport(RtpReceiver& receiver, AudioSink& device) : receiver_(receiver), device_(device) {}
  void Send(std::span<const std::uint8_t> datagram, const platform::SocketAddress& to) override {
    now_ += 20;
    receiver_.Buffer().Offer(datagram, to, static_cast<std::uint32_t>(now_));
    benchmark::DoNotOptimize(receiver_.RunPlayout(now_));
    device_.Transfer(frame_);
  }

 private:
  RtpReceiver& receiver_;
  AudioSink& device_;
  std::int64_t now_ = 0;
  std::vector<std::int32_t> frame_ = std::vector<std::int32_t>(kBlock);
};

std::map<std::string, double>& Costs() {
  static std::map<std::string, double> costs;
  return costs;
}

void CallCost(benchmark::State& state, const char* codec, std::uint8_t payloadType) {
  ReceiveTaps taps;
  const AudioRingEnds ring = MakeAudioRing(kReceivedAudioRingSamples, kSampleRate);
  taps.SetSpeakerFeed(ring.writer);
  RtpReceiver receiver(taps, {kPayloadNone, kG726Type}, 7, 0, 0);
  platform::SystemMediaClock clock;
  auto sendState = std::make_shared<RtpSendState>(clock, RtpNumbering{1, 1, 1});
  sendState->AttachTransport(std::make_unique<LoopTransport>(receiver, *ring.reader));
  RtpRemote remote;
  remote.destination = {0x7F000001, 4000};
  remote.types.audio = payloadType;
  remote.types.g726 = kG726Type;
  sendState->SetRemote(remote);
  {
    RtpSender sender(sendState, [](int) {});  // not real time: the pacer never holds it back
    const std::vector<std::int32_t> voice = Voice();
    std::vector<std::int32_t> block(kBlock);
    const double start = ThreadSeconds();
    for (auto _ : state) {
      for (int at = 0; at < kSampleRate; at += kBlock) {
        std::copy_n(voice.begin() + at, kBlock, block.begin());
        sender.Transfer(block);
      }
    }
    Costs()[codec] = 100.0 * (ThreadSeconds() - start) / static_cast<double>(state.iterations());
  }
  sendState->CloseTransport();
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("call s/s");
}

BENCHMARK_CAPTURE(CallCost, pcmu, "PCMU", kPayloadPcmu);
BENCHMARK_CAPTURE(CallCost, pcma, "PCMA", kPayloadPcma);
BENCHMARK_CAPTURE(CallCost, g726, "G726-32", kG726Type);
BENCHMARK_CAPTURE(CallCost, gsm, "GSM", kPayloadGsm);

void CallFigures(benchmark::State& state) {
  for (auto _ : state) {
  }
  for (const char* codec : {"PCMU", "PCMA", "G726-32", "GSM"}) {
    auto it = Costs().find(codec);
    if (it != Costs().end()) std::printf("figure: rtp cpu per call %s = %.4f %% of one core\n", codec, it->second);
  }
  std::fflush(stdout);
}
BENCHMARK(CallFigures)->Iterations(1);

}  // namespace
