// The receive side of a call on a fake clock: how much delay the playout adds, and what
// receiving costs. Printed figures:
//   playout added latency no jitter / 20 ms jitter: a peer sends a 20 ms packet every 20 ms
//     for 60 s; each arrives after a network delay (none, or uniform in 0..20 ms); the
//     played audio goes through the received-audio ring to a device that takes 10 ms every
//     10 ms. The figure is the mean time from a packet's arrival to the moment the device
//     plays its first sample; its spread over the call shows whether the delay stays flat;
//   rtp receive cpu per call <codec>: processor time of filing, decoding and playing one
//     second of received audio (50 packets through the jitter buffer and playout into the
//     ring, the ring read as the device would), in % of one core.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "media/audio_ring.h"
#include "media/g711.h"
#include "media/receive_taps.h"
#include "media/rtp_receiver.h"
#include "media/voice_codec.h"

namespace {

using namespace corvina;
using namespace corvina::media;

constexpr std::uint32_t kSsrc = 0x5EED;
constexpr std::uint8_t kG726Type = 96;
const platform::SocketAddress kPeer{0x7F000001, 4000};

std::vector<std::uint8_t> Datagram(std::uint16_t seq, std::uint32_t ts, std::uint8_t pt,
                                   std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> d(kRtpHeaderBytes + payload.size());
  WriteRtpHeader({false, pt, seq, ts, kSsrc}, d);
  std::copy(payload.begin(), payload.end(), d.begin() + kRtpHeaderBytes);
  return d;
}

// Cost --------------------------------------------------------------------------------------

double g_cost[4] = {-1, -1, -1, -1};  // % of one core per CodecId, from the last cost run

double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// One second of encoded speech-like audio, 50 payloads.
std::vector<std::vector<std::uint8_t>> Payloads(CodecId codec) {
  FrameEncoder encoder(codec);
  std::vector<std::vector<std::uint8_t>> out;
  std::array<std::int32_t, kFrameSamples> frame{};
  for (int f = 0; f < 50; ++f) {
    for (int i = 0; i < kFrameSamples; ++i) {
      const double t = (f * kFrameSamples + i) / 8000.0;
      double v = 0;
      for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * 140.0 * h * t + h) / h;
      frame[i] = static_cast<std::int32_t>(v * 7000.0 * 16);
    }
    std::vector<std::uint8_t> bytes(FrameBytes(codec));
    encoder.Encode(frame, bytes);
    out.push_back(bytes);
  }
  return out;
}

void ReceiveCost(benchmark::State& state) {
  const auto codec = static_cast<CodecId>(state.range(0));
  const std::uint8_t pt = codec == CodecId::kPcmu ? kPayloadPcmu
                          : codec == CodecId::kPcma ? kPayloadPcma
                          : codec == CodecId::kGsm  ? kPayloadGsm
                                                    : kG726Type;
  const auto payloads = Payloads(codec);
  ReceiveTaps taps;
  const AudioRingEnds ring = MakeAudioRing(kReceivedAudioRingSamples, kSampleRate);
  taps.SetSpeakerFeed(ring.writer);
  RtpReceiver rx(taps, {kPayloadNone, kG726Type}, 7, 0, 0);
  std::vector<std::int32_t> device(kFrameSamples);
  std::int64_t now = 0;
  std::uint32_t k = 0;
  const double start = ThreadSeconds();
  for (auto _ : state) {
    for (const auto& payload : payloads) {
      now += 20;
      rx.Buffer().Offer(Datagram(static_cast<std::uint16_t>(k), 160u * k, pt, payload), kPeer,
                        static_cast<std::uint32_t>(now));
      ++k;
      benchmark::DoNotOptimize(rx.RunPlayout(now));
      ring.reader->Transfer(device);
    }
  }
  const double cost = 100.0 * (ThreadSeconds() - start) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("audio s/s");
  g_cost[state.range(0)] = cost;
}
BENCHMARK(ReceiveCost)
    ->Arg(static_cast<int>(CodecId::kPcmu))
    ->Arg(static_cast<int>(CodecId::kPcma))
    ->Arg(static_cast<int>(CodecId::kG726_32))
    ->Arg(static_cast<int>(CodecId::kGsm));

// Latency -----------------------------------------------------------------------------------

struct LatencyResult {
  double mean = 0.0;
  double firstTenSeconds = 0.0;
  double lastTenSeconds = 0.0;
  int played = 0;
};

// Packet k carries one µ-law code throughout, from a cycle of loud codes, so the device can
// tell where each packet starts.
std::uint8_t CodeOf(int k) { return static_cast<std::uint8_t>(0x10 + k % 96); }

LatencyResult MeasureLatency(int jitterMs) {
  constexpr int kPackets = 3000;  // 60 s
  constexpr int kDeviceBlock = 80;
  ReceiveTaps taps;
  const AudioRingEnds ring = MakeAudioRing(kReceivedAudioRingSamples, kSampleRate);
  taps.SetSpeakerFeed(ring.writer);
  RtpReceiver rx(taps, {}, 7, 0, 0);

  std::vector<std::int64_t> arrival(kPackets);
  std::uint32_t seed = 12345;
  for (int k = 0; k < kPackets; ++k) {
    seed = seed * 1664525u + 1013904223u;
    arrival[k] = 20LL * k + (jitterMs > 0 ? static_cast<std::int64_t>((seed >> 8) % (jitterMs + 1)) : 0);
  }
  std::vector<int> order(kPackets);
  for (int k = 0; k < kPackets; ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return arrival[a] < arrival[b]; });

  std::vector<double> latency(kPackets, -1.0);
  std::vector<std::int32_t> block(kDeviceBlock);
  std::int32_t previous = 0;
  int nextToFind = 0;
  std::size_t nextArrival = 0;
  std::int64_t deadline = 0;
  const std::uint8_t payloadSize = 160;
  std::vector<std::uint8_t> payload(payloadSize);
  for (std::int64_t now = 0; now <= arrival[order.back()] + 1000; ++now) {
    bool pass = now >= deadline;
    while (nextArrival < order.size() && arrival[order[nextArrival]] == now) {
      const int k = order[nextArrival++];
      std::fill(payload.begin(), payload.end(), CodeOf(k));
      rx.Buffer().Offer(Datagram(static_cast<std::uint16_t>(k), 160u * k, kPayloadPcmu, payload), kPeer,
                        static_cast<std::uint32_t>(now));
      deadline = now + rx.RunPlayout(now).waitMs;
      pass = false;
    }
    if (pass) deadline = now + rx.RunPlayout(now).waitMs;
    if (now % 10 != 0) continue;
    // The device plays 10 ms from now on.
    const std::size_t got = ring.reader->Transfer(block);
    for (std::size_t i = 0; i < got; ++i) {
      // A packet dropped under the cap never shows: look a few packets ahead.
      for (int j = nextToFind; j < std::min(nextToFind + 8, kPackets); ++j) {
        if (block[i] == MulawDecodeSample(CodeOf(j)) && block[i] != previous) {
          latency[j] = static_cast<double>(now - arrival[j]) + i / 8.0;
          nextToFind = j + 1;
          break;
        }
      }
      previous = block[i];
    }
  }
  LatencyResult r;
  double first = 0, last = 0;
  int firstCount = 0, lastCount = 0;
  for (int k = 0; k < kPackets; ++k) {
    if (latency[k] < 0) continue;
    r.mean += latency[k];
    ++r.played;
    if (k < 500) first += latency[k], ++firstCount;
    if (k >= kPackets - 500) last += latency[k], ++lastCount;
  }
  r.mean /= std::max(r.played, 1);
  r.firstTenSeconds = first / std::max(firstCount, 1);
  r.lastTenSeconds = last / std::max(lastCount, 1);
  return r;
}

void PlayoutLatency(benchmark::State& state) {
  for (auto _ : state) {
    for (int jitter : {0, 20}) {
      const LatencyResult r = MeasureLatency(jitter);
      const std::string name = jitter == 0 ? "no jitter" : "20 ms jitter";
      std::printf("figure: playout added latency %s = %.1f ms\n", name.c_str(), r.mean);
      std::printf("figure: playout added latency %s first 10 s = %.1f ms, last 10 s = %.1f ms, packets played = %d\n",
                  name.c_str(), r.firstTenSeconds, r.lastTenSeconds, r.played);
    }
  }
  for (CodecId codec : {CodecId::kPcmu, CodecId::kPcma, CodecId::kG726_32, CodecId::kGsm}) {
    const double cost = g_cost[static_cast<int>(codec)];
    if (cost >= 0) {
      std::printf("figure: rtp receive cpu per call %s = %.4f %% of one core\n", std::string(CodecName(codec)).c_str(),
                  cost);
    }
  }
  std::fflush(stdout);
}
BENCHMARK(PlayoutLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
