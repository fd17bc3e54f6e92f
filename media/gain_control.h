// Automatic gain control for the capture path. Each block's peak (after a DC filter) gives its
// level in dB relative to 131072 (a quarter of full scale); a fixed table turns the level into a
// target gain: +12 dB for quiet blocks up to -18 dB, then 2/3 dB less gain per dB up to +3 dB,
// then 1 dB less per dB. The applied gain follows the target per sample, quickly when it must
// fall (attack, rate / 70) and slowly when it may rise (release, rate), and the output is twice
// that gain. Samples that the gain would push past full scale clip at full scale.
//
// Threads: one object belongs to the thread that calls Process (the capture thread).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace corvina::media {

class AutomaticGainControl {
 public:
  static constexpr std::int32_t kUnityGain = 1 << 24;
  static constexpr int kMaxBlock = 8192;  // samples per channel handled at a time

  explicit AutomaticGainControl(int rate = 8000, int channels = 1);

  // Applies the gain control to `samples` (interleaved when there are two channels) in place,
  // in pieces of at most 8192 samples per channel.
  void Process(std::span<std::int32_t> samples);

  // The gain applied to the last sample (unity = 2^24).
  std::int32_t Gain() const { return gain_; }

  // The level in dB of a block with peak `peak`: round(20 log10(peak / 131072)), away from zero,
  // in -127..127; a peak of 0 gives -127.
  static int BlockLevel(std::int32_t peak);
  // The gain table, indexed by level + 128 (unity 2^24). Built once.
  static const std::array<std::int32_t, 256>& GainTable();

  int AttackDivisor() const { return attack_; }
  int ReleaseDivisor() const { return release_; }
  int DcCoefficient() const { return dcCoefficient_; }

 private:
  void ProcessPiece(std::span<std::int32_t> samples);

  const int channels_;
  const int attack_;         // divisor while the gain falls
  const int release_;        // divisor while the gain rises
  const int dcCoefficient_;  // 256 (1 - e^(-pi * 1000 / rate))
  std::int64_t dcState_ = 0;
  std::int32_t gain_ = kUnityGain;
};

}  // namespace corvina::media
