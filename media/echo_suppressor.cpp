#include "media/echo_suppressor.h"

#include <algorithm>
#include <string>

#include "media/sample_scale.h"

namespace corvina::media {
namespace {

constexpr std::string_view kProgramSection = "Settings";
constexpr std::string_view kEnabledValue = "EchoCancellation";
constexpr std::string_view kLearnedSection = "Settings\\AudioProcess";

// Stored band numbers: 1 = high, 2 = mid, 3 = low, the order of the band index.
std::string EchoBandName(int band) { return "EchoBand" + std::to_string(band + 1); }
std::string NoiseGateBandName(int band) { return "NoiseGateBand" + std::to_string(band + 1); }

// A stored noise floor is in units of 2 (N >> 9); anything beyond twice full scale is damage.
constexpr int kMaxStoredNoise = 2 * kFullScale;

constexpr int kWriteBits = 17;  // 80000 < 2^17
constexpr std::uint64_t kWriteMask = (std::uint64_t{1} << kWriteBits) - 1;

constexpr std::int32_t kGainRise = 0x20000;  // per sample: closed to open in 128 samples
constexpr std::int32_t kGainFall = 8192;     // per sample: open to closed in 2048 samples

// `a - b` on the 80000-sample circle, in -40000..39999.
std::int32_t CircularDifference(std::uint32_t a, std::uint32_t b) {
  constexpr std::int32_t n = EchoSuppressor::kRingSamples;
  std::int32_t d = (static_cast<std::int32_t>(a) - static_cast<std::int32_t>(b)) % n;
  if (d < -n / 2) d += n;
  if (d >= n / 2) d -= n;
  return d;
}

std::uint32_t Wrap(std::int64_t position) {
  constexpr std::int64_t n = EchoSuppressor::kRingSamples;
  return static_cast<std::uint32_t>(((position % n) + n) % n);
}

}  // namespace

EchoSuppressor::EchoSuppressor(platform::Settings& settings)
    : settings_(settings), enabled_(settings.GetSettingBool(kProgramSection, kEnabledValue, true)) {
  for (int b = 0; b < kEchoBands; ++b) {
    const int echo = settings_.GetSettingInt(kLearnedSection, EchoBandName(b), 0);
    const int noise = settings_.GetSettingInt(kLearnedSection, NoiseGateBandName(b), 0);
    bands_[b].coupling.fill(std::clamp(echo, 0, kMaxCoupling));
    bands_[b].noise = std::clamp(noise, 0, kMaxStoredNoise) * 512;
  }
  // Built on the controller's thread, then used by the playback and capture threads.
  referenceThread_.Detach();
  captureThread_.Detach();
}

EchoSuppressor::~EchoSuppressor() { SaveLearned(); }

void EchoSuppressor::SaveLearned() {
  for (int b = 0; b < kEchoBands; ++b) {
    const BandState& band = bands_[b];
    settings_.SetSettingInt(kLearnedSection, EchoBandName(b),
                            *std::max_element(band.coupling.begin(), band.coupling.end()));
    settings_.SetSettingInt(kLearnedSection, NoiseGateBandName(b), band.noise >> 9);
  }
}

// Loudspeaker side ------------------------------------------------------------------------

void EchoSuppressor::FeedReference(std::span<const std::int32_t> samples, std::uint64_t deviceCounter) {
  CORVINA_CHECK_THREAD(referenceThread_);
  for (std::int32_t x : samples) {
    RaisePeaks(referencePeaks_, referenceSplit_.Split(ClipToFullScale(x)));
    const int block = static_cast<int>(writePosition_ / kBlock);
    ++writePosition_;
    if (writePosition_ % kBlock != 0) continue;
    const BandValues corrected = CorrectOverlap(referencePeaks_);
    const int next = (block + 1) % kRingBlocks;
    for (int b = 0; b < kEchoBands; ++b) {
      ring_[block * kEchoBands + b].store(corrected[b], std::memory_order_relaxed);
      ring_[next * kEchoBands + b].store(0, std::memory_order_relaxed);
    }
    referencePeaks_ = {};
    if (writePosition_ == kRingSamples) writePosition_ = 0;
  }
  // The block in progress shows its peaks so far.
  const int current = static_cast<int>(writePosition_ / kBlock);
  for (int b = 0; b < kEchoBands; ++b) {
    ring_[current * kEchoBands + b].store(referencePeaks_[b], std::memory_order_relaxed);
  }
  referenceMark_.store((deviceCounter << kWriteBits) | writePosition_, std::memory_order_release);
}

std::int32_t EchoSuppressor::RingPeak(int block, int band) const {
  return ring_[block * kEchoBands + band].load(std::memory_order_relaxed);
}

// Microphone side -------------------------------------------------------------------------

void EchoSuppressor::Align(std::size_t n, std::optional<std::uint64_t> playingNow) {
  const std::uint64_t mark = referenceMark_.load(std::memory_order_acquire);
  const auto writePosition = static_cast<std::uint32_t>(mark & kWriteMask);
  const std::uint64_t deviceCounter = mark >> kWriteBits;
  const auto count = static_cast<std::int64_t>(std::min<std::size_t>(n, kRingSamples));
  if (playingNow.has_value() && *playingNow <= deviceCounter && deviceCounter - *playingNow < kRingSamples) {
    const auto queued = static_cast<std::int64_t>(deviceCounter - *playingNow);
    // The reference sample heard while the first new microphone sample was taken.
    const std::uint32_t expected = Wrap(static_cast<std::int64_t>(writePosition) - queued - count);
    const std::int32_t off = CircularDifference(expected, microphonePosition_);
    if (off > 64) microphonePosition_ = Wrap(static_cast<std::int64_t>(microphonePosition_) + 4);
    if (off < -64) microphonePosition_ = Wrap(static_cast<std::int64_t>(microphonePosition_) - 4);
  }
  // The microphone never reads reference blocks the speaker side has not finished: it stays at
  // least n + 79 samples behind (being ahead counts as too close).
  if (CircularDifference(writePosition, microphonePosition_) < count + kBlock - 1) {
    microphonePosition_ = Wrap(static_cast<std::int64_t>(writePosition) - count - (kBlock - 1));
  }
}

void EchoSuppressor::ProcessCapture(std::span<const std::int32_t> samples, std::optional<std::uint64_t> playingNow,
                                    std::vector<std::int32_t>& out) {
  CORVINA_CHECK_THREAD(captureThread_);
  Align(samples.size(), playingNow);
  for (std::int32_t x : samples) {
    const BandValues bands = microphoneSplit_.Split(ClipToFullScale(x));
    blocks_[filling_][fillCount_++] = bands;
    RaisePeaks(blockPeaks_, bands);
    if (++microphonePosition_ == kRingSamples) microphonePosition_ = 0;
    if (fillCount_ < kBlock) continue;

    AnalyseBlock();
    const int waiting = 1 - filling_;
    if (pending_) Flush(waiting, out);
    pending_ = true;
    filling_ = waiting;
    fillCount_ = 0;
    // With every band open the block just analysed need not wait for the next boundary.
    std::int64_t targets = 0;
    for (const BandState& band : bands_) targets += band.target;
    if (targets >= 3 * static_cast<std::int64_t>(kUnityGain)) {
      Flush(1 - filling_, out);
      pending_ = false;
    }
  }
}

void EchoSuppressor::AnalyseBlock() {
  const BandValues peaks = CorrectOverlap(blockPeaks_);
  blockPeaks_ = {};
  const int k = static_cast<int>(microphonePosition_ / kBlock);
  for (int b = 0; b < kEchoBands; ++b) {
    BandState& band = bands_[b];
    const std::int32_t p = peaks[b];

    // Noise floor: falls quickly toward quieter blocks, rises slowly toward louder ones.
    const std::int32_t f = band.noise >> 8;
    band.noise += p < f ? p - f : (p - f) >> 4;

    // Echo estimate from the 32 most recent reference blocks, with the factors as they stood
    // before this block; then each factor whose reference block was loud enough adapts.
    std::int64_t echo = 0;
    for (int j = 0; j < kLags; ++j) {
      const std::int64_t r = RingPeak((k - j + kRingBlocks) % kRingBlocks, b);
      std::int32_t& factor = band.coupling[j];
      const std::int64_t predicted = (factor * r) >> 10;
      echo = std::max(echo, predicted);
      if (r <= kLearnThreshold) continue;
      if (p <= predicted) {
        factor = std::max(0, factor - ((factor >> 4) + 2));
      } else {
        factor = std::min(kMaxCoupling, factor + (enabled_ ? (factor >> 5) + 1 : (factor >> 6) + 1));
      }
    }

    // Gate: open above noise plus echo with a margin, closed below it, linear in between.
    const std::int64_t level = std::max(p, band.previousPeak);
    const std::int64_t threshold = f + (f >> 2) + echo + (echo >> 1);
    const std::int64_t width = (f >> 1) + 64 + (echo >> 1);
    if (level >= threshold + width) {
      band.target = kUnityGain;
    } else if (level > threshold) {
      band.target = static_cast<std::int32_t>((level - threshold) * kUnityGain / width);
    } else {
      band.target = 0;
    }
    band.previousPeak = p;
  }
}

void EchoSuppressor::Flush(int buffer, std::vector<std::int32_t>& out) {
  for (const BandValues& bands : blocks_[buffer]) {
    std::int64_t sum = 0;
    for (int b = 0; b < kEchoBands; ++b) {
      BandState& band = bands_[b];
      if (band.gain < band.target) {
        band.gain = std::min(band.target, band.gain + kGainRise);
      } else {
        band.gain = std::max(band.target, band.gain - kGainFall);
      }
      sum += (static_cast<std::int64_t>(bands[b]) * band.gain) >> 24;
    }
    out.push_back(ClipToFullScale(sum));
  }
}

}  // namespace corvina::media
