// Encode and decode speed of each voice codec, ours beside the reference doing the same work
// in the same run: spandsp for G.711 and G.726-32, libgsm for GSM 06.10. One item is one
// 20 ms frame of 160 samples.
#include <math.h>
#include <stdint.h>

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/g726.h>

extern "C" {
#include <gsm.h>
}

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "media/g711.h"
#include "media/g726.h"
#include "media/gsm_codec.h"

namespace {

using namespace corvina::media;

constexpr int kFrames = 50;  // one second per iteration
constexpr int kSamples = kFrames * kFrameSamples;

// A speech-like test signal: a few harmonics under a syllable-rate envelope, plus a little
// pseudo-random noise, as 16-bit samples.
const std::vector<std::int16_t>& Signal16() {
  static const std::vector<std::int16_t> signal = [] {
    std::vector<std::int16_t> s(kSamples);
    std::uint32_t noise = 1;
    for (int i = 0; i < kSamples; ++i) {
      const double t = i / 8000.0;
      const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 4.0 * t);
      double v = 0.0;
      for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * 140.0 * h * t + h) / h;
      noise = noise * 1103515245u + 12345u;
      v = envelope * v * 7000.0 + static_cast<double>((noise >> 16) & 1023) - 512.0;
      s[i] = static_cast<std::int16_t>(std::lround(v));
    }
    return s;
  }();
  return signal;
}

const std::vector<std::int32_t>& Signal32() {
  static const std::vector<std::int32_t> signal = [] {
    std::vector<std::int32_t> s(kSamples);
    for (int i = 0; i < kSamples; ++i) s[i] = Signal16()[i] * 16;
    return s;
  }();
  return signal;
}

void Finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kFrames);
  state.SetLabel("frames/s");
}

// G.711 -----------------------------------------------------------------------------------

template <std::size_t (*Encode)(std::span<const std::int32_t>, std::span<std::uint8_t>)>
void G711EncodeOurs(benchmark::State& state) {
  std::vector<std::uint8_t> codes(kSamples);
  for (auto _ : state) {
    Encode(Signal32(), codes);
    benchmark::DoNotOptimize(codes.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

template <std::uint8_t (*Encode)(int)>
void G711EncodeReference(benchmark::State& state) {
  std::vector<std::uint8_t> codes(kSamples);
  const std::vector<std::int16_t>& in = Signal16();
  for (auto _ : state) {
    for (int i = 0; i < kSamples; ++i) codes[i] = Encode(in[i]);
    benchmark::DoNotOptimize(codes.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

template <std::size_t (*Decode)(std::span<const std::uint8_t>, std::span<std::int32_t>)>
void G711DecodeOurs(benchmark::State& state) {
  std::vector<std::uint8_t> codes(kSamples);
  MulawEncode(Signal32(), codes);
  std::vector<std::int32_t> out(kSamples);
  for (auto _ : state) {
    Decode(codes, out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

template <std::int16_t (*Decode)(std::uint8_t)>
void G711DecodeReference(benchmark::State& state) {
  std::vector<std::uint8_t> codes(kSamples);
  MulawEncode(Signal32(), codes);
  std::vector<std::int16_t> out(kSamples);
  for (auto _ : state) {
    for (int i = 0; i < kSamples; ++i) out[i] = Decode(codes[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state);
}

std::uint8_t SpandspUlaw(int v) { return linear_to_ulaw(v); }
std::uint8_t SpandspAlaw(int v) { return linear_to_alaw(v); }
std::int16_t SpandspUlawDecode(std::uint8_t c) { return ulaw_to_linear(c); }
std::int16_t SpandspAlawDecode(std::uint8_t c) { return alaw_to_linear(c); }

BENCHMARK(G711EncodeOurs<MulawEncode>)->Name("pcmu_encode/ours");
BENCHMARK(G711EncodeReference<SpandspUlaw>)->Name("pcmu_encode/reference");
BENCHMARK(G711DecodeOurs<MulawDecode>)->Name("pcmu_decode/ours");
BENCHMARK(G711DecodeReference<SpandspUlawDecode>)->Name("pcmu_decode/reference");
BENCHMARK(G711EncodeOurs<AlawEncode>)->Name("pcma_encode/ours");
BENCHMARK(G711EncodeReference<SpandspAlaw>)->Name("pcma_encode/reference");
BENCHMARK(G711DecodeOurs<AlawDecode>)->Name("pcma_decode/ours");
BENCHMARK(G711DecodeReference<SpandspAlawDecode>)->Name("pcma_decode/reference");

// G.726-32 --------------------------------------------------------------------------------

std::vector<std::int16_t> Spandsp14Bit() {
  std::vector<std::int16_t> s(kSamples);
  for (int i = 0; i < kSamples; ++i) s[i] = static_cast<std::int16_t>(((Signal32()[i] + 32) >> 6) * 4);
  return s;
}

void G726EncodeOurs(benchmark::State& state) {
  G726Encoder encoder;
  std::vector<std::uint8_t> codes(kSamples / 2);
  for (auto _ : state) {
    encoder.Encode(Signal32(), codes);
    benchmark::DoNotOptimize(codes.data());
  }
  Finish(state);
}

void G726EncodeReference(benchmark::State& state) {
  g726_state_t* coder = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
  const std::vector<std::int16_t> in = Spandsp14Bit();
  std::vector<std::uint8_t> codes(kSamples / 2);
  for (auto _ : state) {
    g726_encode(coder, codes.data(), in.data(), kSamples);
    benchmark::DoNotOptimize(codes.data());
  }
  g726_free(coder);
  Finish(state);
}

std::vector<std::uint8_t> G726Stream() {
  G726Encoder encoder;
  std::vector<std::uint8_t> codes(kSamples / 2);
  encoder.Encode(Signal32(), codes);
  return codes;
}

void G726DecodeOurs(benchmark::State& state) {
  G726Decoder decoder;
  const std::vector<std::uint8_t> codes = G726Stream();
  std::vector<std::int32_t> out(kSamples);
  for (auto _ : state) {
    decoder.Decode(codes, out);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}

void G726DecodeReference(benchmark::State& state) {
  g726_state_t* coder = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_LEFT);
  const std::vector<std::uint8_t> codes = G726Stream();
  std::vector<std::int16_t> out(kSamples);
  for (auto _ : state) {
    g726_decode(coder, out.data(), codes.data(), static_cast<int>(codes.size()));
    benchmark::DoNotOptimize(out.data());
  }
  g726_free(coder);
  Finish(state);
}

BENCHMARK(G726EncodeOurs)->Name("g726_encode/ours");
BENCHMARK(G726EncodeReference)->Name("g726_encode/reference");
BENCHMARK(G726DecodeOurs)->Name("g726_decode/ours");
BENCHMARK(G726DecodeReference)->Name("g726_decode/reference");

// GSM 06.10 -------------------------------------------------------------------------------

using Frame = std::array<std::uint8_t, kGsmFrameBytes>;

std::vector<Frame> GsmStream() {
  GsmEncoder encoder;
  std::vector<Frame> frames(kFrames);
  for (int f = 0; f < kFrames; ++f) {
    encoder.EncodeFrame(std::span<const std::int32_t, kFrameSamples>(&Signal32()[f * kFrameSamples], kFrameSamples),
                        frames[f]);
  }
  return frames;
}

void GsmEncodeOurs(benchmark::State& state) {
  GsmEncoder encoder;
  Frame frame;
  for (auto _ : state) {
    for (int f = 0; f < kFrames; ++f) {
      encoder.EncodeFrame(std::span<const std::int32_t, kFrameSamples>(&Signal32()[f * kFrameSamples], kFrameSamples),
                          frame);
      benchmark::DoNotOptimize(frame.data());
    }
  }
  Finish(state);
}

void GsmEncodeReference(benchmark::State& state) {
  ::gsm coder = gsm_create();
  std::vector<gsm_signal> in(Signal16().begin(), Signal16().end());
  Frame frame;
  for (auto _ : state) {
    for (int f = 0; f < kFrames; ++f) {
      gsm_encode(coder, &in[f * kFrameSamples], frame.data());
      benchmark::DoNotOptimize(frame.data());
    }
  }
  gsm_destroy(coder);
  Finish(state);
}

void GsmDecodeOurs(benchmark::State& state) {
  GsmDecoder decoder;
  const std::vector<Frame> frames = GsmStream();
  std::array<std::int32_t, kFrameSamples> out;
  for (auto _ : state) {
    for (const Frame& frame : frames) {
      decoder.DecodeFrame(frame, out);
      benchmark::DoNotOptimize(out.data());
    }
  }
  Finish(state);
}

void GsmDecodeReference(benchmark::State& state) {
  ::gsm coder = gsm_create();
  std::vector<Frame> frames = GsmStream();
  std::array<gsm_signal, kFrameSamples> out;
  for (auto _ : state) {
    for (Frame& frame : frames) {
      gsm_decode(coder, frame.data(), out.data());
      benchmark::DoNotOptimize(out.data());
    }
  }
  gsm_destroy(coder);
  Finish(state);
}

BENCHMARK(GsmEncodeOurs)->Name("gsm_encode/ours");
BENCHMARK(GsmEncodeReference)->Name("gsm_encode/reference");
BENCHMARK(GsmDecodeOurs)->Name("gsm_decode/ours");
BENCHMARK(GsmDecodeReference)->Name("gsm_decode/reference");

}  // namespace
