// The three-band echo suppressor with noise gate. The loudspeaker side (playback thread) feeds
// every block sent to the speaker through FeedReference, which keeps the per-band peaks of each
// 10 ms (80-sample) block in a ring of 1000 blocks (10 s). The microphone side (capture thread)
// runs ProcessCapture: it aligns its position with the speaker's, splits the microphone signal
// into the same three bands, predicts each band's echo from the 32 most recent reference
// blocks through learned coupling factors, tracks each band's noise floor, and gates every band
// whose level does not stand clearly above noise plus echo. What the suppressor learned (the
// largest coupling factor and the noise floor of each band) is stored in the settings section
// "Settings\AudioProcess" when it is destroyed and is the starting point of the next one.
//
// Threads: FeedReference runs on one thread (the playback thread), ProcessCapture on another
// (the capture thread); the reference ring and the reference positions are the only state they
// share, and are atomics. Construction and destruction happen while neither thread runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "media/band_split.h"
#include "platform/settings.h"
#include "platform/thread_checker.h"

namespace corvina::media {

class EchoSuppressor {
 public:
  static constexpr int kBlock = 80;                  // samples per analysis block (10 ms)
  static constexpr int kRingBlocks = 1000;           // 10 s of reference blocks
  static constexpr int kRingSamples = kBlock * kRingBlocks;
  static constexpr int kLags = 32;                   // echo path up to 320 ms
  static constexpr std::int32_t kUnityGain = 1 << 24;
  static constexpr std::int32_t kUnityCoupling = 1024;
  // Coupling factors stop growing at 64 times unity (an echo 36 dB above the reference): far
  // beyond any real echo path, and K * r stays well inside 64 bits.
  static constexpr std::int32_t kMaxCoupling = 64 * kUnityCoupling;
  // Only reference blocks whose band peak exceeds this teach the coupling factors.
  static constexpr std::int32_t kLearnThreshold = 2048;

  // Reads the enabled flag ("Settings" value "EchoCancellation", default on) and the learned
  // start values from "Settings\AudioProcess". `settings` must outlive the suppressor.
  explicit EchoSuppressor(platform::Settings& settings);
  // Writes what was learned back to "Settings\AudioProcess".
  ~EchoSuppressor();

  EchoSuppressor(const EchoSuppressor&) = delete;
  EchoSuppressor& operator=(const EchoSuppressor&) = delete;

  // Playback thread: `samples` is the block just handed on to the loudspeaker and
  // `deviceCounter` the source's position after it (samples handed on so far).
  void FeedReference(std::span<const std::int32_t> samples, std::uint64_t deviceCounter);

  // Capture thread: `samples` are new microphone samples. `playingNow` is the playback device's
  // estimate of the position now playing, counted like `deviceCounter` (none without a
  // playback device). The samples ready for the next sink are appended to `out`; each comes
  // out exactly once, in order, at most one 80-sample block late.
  void ProcessCapture(std::span<const std::int32_t> samples, std::optional<std::uint64_t> playingNow,
                      std::vector<std::int32_t>& out);

  // Writes the learned values to the settings now (the destructor does so too).
  void SaveLearned();

  // What the suppressor has learned, for diagnostics and tests (capture thread).
  std::int32_t CouplingFactor(int band, int lag) const { return bands_[band].coupling[lag]; }
  std::int32_t NoiseFloor(int band) const { return bands_[band].noise; }
  std::int32_t TargetGain(int band) const { return bands_[band].target; }
  bool Enabled() const { return enabled_; }

 private:
  struct BandState {
    std::int32_t noise = 0;                      // noise floor, scaled by 256
    std::array<std::int32_t, kLags> coupling{};  // echo coupling per lag, scaled by 1024
    std::int32_t target = kUnityGain;            // gate gain the band moves toward
    std::int32_t gain = kUnityGain;              // gate gain applied now
    std::int32_t previousPeak = 0;               // corrected peak of the last block
  };

  void Align(std::size_t n, std::optional<std::uint64_t> playingNow);
  void AnalyseBlock();
  void Flush(int buffer, std::vector<std::int32_t>& out);
  std::int32_t RingPeak(int block, int band) const;

  platform::Settings& settings_;
  const bool enabled_;  // set at construction, read-only after

  // Shared between the threads. The ring holds the three band peaks of each reference block;
  // the playback thread writes it, the capture thread reads it. `referenceMark_` packs the
  // write position (low 17 bits, 0..79999) with the source's position at that moment (the
  // bits above), so the capture thread always sees a matching pair. Release on store, acquire
  // on load orders the ring writes before the position that covers them.
  std::array<std::atomic<std::int32_t>, kRingBlocks * kEchoBands> ring_{};
  std::atomic<std::uint64_t> referenceMark_{0};

  // Playback thread only.
  platform::ThreadChecker referenceThread_;
  BandSplitter referenceSplit_;
  BandValues referencePeaks_{};      // running peaks of the block being written
  std::uint32_t writePosition_ = 0;  // 0..79999

  // Capture thread only.
  platform::ThreadChecker captureThread_;
  BandSplitter microphoneSplit_;
  std::uint32_t microphonePosition_ = 0;  // 0..79999, same numbering as the write position
  std::array<std::array<BandValues, kBlock>, 2> blocks_{};  // one filling, one waiting for output
  int filling_ = 0;                 // index of the block being filled
  int fillCount_ = 0;               // samples in the filling block
  bool pending_ = false;            // the other block waits for output
  BandValues blockPeaks_{};
  std::array<BandState, kEchoBands> bands_{};
};

}  // namespace corvina::media
