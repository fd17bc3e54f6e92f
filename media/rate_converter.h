// Sample-rate and channel conversion between a sound device and the 8000 Hz mono chain, for
// devices that only open at 44100, 22050 or 11025 Hz or in stereo. Rates convert by a rational
// factor with a polyphase windowed-sinc low-pass (Kaiser window, about 70 dB of stopband from
// 4000 Hz at the 8000 Hz side, passband flat to 3400 Hz); stereo becomes mono as the mean of the
// two channels, mono becomes stereo by copying. Equal rates pass samples through unchanged.
//
// Accuracy: a tone of 300..3000 Hz keeps its level within 0.01 dB and everything else the
// conversion adds stays 75 dB or more below it, either way and on a round trip.
//
// Threads: one object belongs to the thread that calls Process.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace corvina::media {

// One channel at one rate to one channel at another; streaming (keeps its history).
class MonoResampler {
 public:
  MonoResampler(int inRate, int outRate);

  void Process(std::span<const std::int32_t> in, std::vector<std::int32_t>& out);
  // Delay the filter adds, in input samples.
  double DelayInInputSamples() const;

 private:
  int up_ = 1;      // interpolation factor L
  int down_ = 1;    // decimation factor M
  int taps_ = 1;    // filter taps per phase
  std::vector<float> coefficients_;  // phase-major: [phase][tap], tap 0 = newest input
  std::vector<float> history_;       // the last taps - 1 inputs, then the new ones
  std::int64_t nextIndex_ = 0;       // input index (relative to history_ end) of the next output
  int nextPhase_ = 0;
};

class RateConverter {
 public:
  // Rates must be positive; channel counts 1 or 2 (others are treated as 1 or 2).
  RateConverter(int inRate, int inChannels, int outRate, int outChannels);

  // Converts interleaved `in` and appends interleaved output frames to `out`.
  void Process(std::span<const std::int32_t> in, std::vector<std::int32_t>& out);

  int InRate() const { return inRate_; }
  int OutRate() const { return outRate_; }
  int InChannels() const { return inChannels_; }
  int OutChannels() const { return outChannels_; }
  // Delay the conversion adds, in input frames (0 when the rates are equal).
  double DelayInInputFrames() const;

 private:
  const int inRate_;
  const int inChannels_;
  const int outRate_;
  const int outChannels_;
  std::vector<MonoResampler> resamplers_;  // none when the rates are equal; else one per channel carried
  std::vector<std::int32_t> split_[2];     // per-channel scratch
  std::vector<std::int32_t> converted_[2];
};

}  // namespace corvina::media
