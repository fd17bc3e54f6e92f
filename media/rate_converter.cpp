#include "media/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "media/sample_scale.h"

namespace corvina::media {
namespace {

constexpr double kStopbandDb = 70.0;
// The transition band is this share of the lower rate's Nyquist frequency, ending there:
// 3400..4000 Hz when one side is 8000 Hz.
constexpr double kTransitionShare = 0.15;

// The zeroth-order modified Bessel function of the first kind, by its power series.
double BesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  for (int k = 1; k < 50; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

}  // namespace

MonoResampler::MonoResampler(int inRate, int outRate) {
  inRate = std::max(1, inRate);
  outRate = std::max(1, outRate);
  const int g = std::gcd(inRate, outRate);
  up_ = outRate / g;
  down_ = inRate / g;
  if (up_ == 1 && down_ == 1) {
    coefficients_ = {1.0f};
    taps_ = 1;
  } else {
    const double upRate = static_cast<double>(inRate) * up_;
    const double nyquist = std::min(inRate, outRate) / 2.0;
    const double transition = kTransitionShare * nyquist;
    const double cutoff = (nyquist - transition / 2.0) / upRate;  // cycles per upsampled sample
    const double beta = 0.1102 * (kStopbandDb - 8.7);
    const double length = (kStopbandDb - 8.0) / (2.285 * 2.0 * M_PI * transition / upRate) + 1.0;
    taps_ = static_cast<int>(std::ceil(length / up_));
    const int n = taps_ * up_;
    const double centre = (n - 1) / 2.0;
    const double windowNorm = BesselI0(beta);
    std::vector<double> h(n);
    for (int k = 0; k < n; ++k) {
      const double t = k - centre;
      const double sinc = t == 0.0 ? 2.0 * cutoff : std::sin(2.0 * M_PI * cutoff * t) / (M_PI * t);
      const double ratio = t / centre;
      const double window = BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - ratio * ratio))) / windowNorm;
      h[k] = sinc * window;
    }
    // Each phase sums to one, so a constant passes unchanged whatever the phase.
    coefficients_.resize(n);
    for (int phase = 0; phase < up_; ++phase) {
      double sum = 0.0;
      for (int q = 0; q < taps_; ++q) sum += h[phase + up_ * q];
      for (int q = 0; q < taps_; ++q) {
        coefficients_[phase * taps_ + q] = static_cast<float>(h[phase + up_ * q] / sum);
      }
    }
  }
  history_.assign(taps_ - 1, 0.0f);
}

double MonoResampler::DelayInInputSamples() const {
  return (static_cast<double>(taps_) * up_ - 1.0) / (2.0 * up_);
}

void MonoResampler::Process(std::span<const std::int32_t> in, std::vector<std::int32_t>& out) {
  const std::int64_t count = static_cast<std::int64_t>(in.size());
  for (std::int32_t x : in) history_.push_back(static_cast<float>(x));
  const float* newest = history_.data() + (taps_ - 1);  // input 0 of this call
  while (nextIndex_ < count) {
    const float* c = coefficients_.data() + static_cast<std::size_t>(nextPhase_) * taps_;
    const float* x = newest + nextIndex_;
    float acc = 0.0f;
    for (int q = 0; q < taps_; ++q) acc += c[q] * x[-q];
    out.push_back(ClipToFullScale(std::llround(acc)));
    nextPhase_ += down_;
    nextIndex_ += nextPhase_ / up_;
    nextPhase_ %= up_;
  }
  nextIndex_ -= count;
  history_.erase(history_.begin(), history_.end() - (taps_ - 1));
}

RateConverter::RateConverter(int inRate, int inChannels, int outRate, int outChannels)
    : inRate_(std::max(1, inRate)),
      inChannels_(std::clamp(inChannels, 1, 2)),
      outRate_(std::max(1, outRate)),
      outChannels_(std::clamp(outChannels, 1, 2)) {
  if (inRate_ != outRate_) {
    const int carried = std::min(inChannels_, outChannels_);
    for (int c = 0; c < carried; ++c) resamplers_.emplace_back(inRate_, outRate_);
  }
}

double RateConverter::DelayInInputFrames() const {
  return resamplers_.empty() ? 0.0 : resamplers_.front().DelayInInputSamples();
}

void RateConverter::Process(std::span<const std::int32_t> in, std::vector<std::int32_t>& out) {
  const std::size_t frames = in.size() / inChannels_;
  const int carried = std::min(inChannels_, outChannels_);
  // Channels carried through the rate change: both of a stereo pair, or one mono channel.
  for (int c = 0; c < carried; ++c) split_[c].resize(frames);
  for (std::size_t f = 0; f < frames; ++f) {
    if (inChannels_ == 1) {
      split_[0][f] = in[f];
    } else if (carried == 2) {
      split_[0][f] = in[2 * f];
      split_[1][f] = in[2 * f + 1];
    } else {
      split_[0][f] = static_cast<std::int32_t>((static_cast<std::int64_t>(in[2 * f]) + in[2 * f + 1]) >> 1);
    }
  }
  const std::vector<std::int32_t>* channel[2] = {&split_[0], &split_[1]};
  if (!resamplers_.empty()) {
    for (int c = 0; c < carried; ++c) {
      converted_[c].clear();
      resamplers_[c].Process(split_[c], converted_[c]);
      channel[c] = &converted_[c];
    }
  }
  const std::size_t outFrames = channel[0]->size();
  for (std::size_t f = 0; f < outFrames; ++f) {
    for (int c = 0; c < outChannels_; ++c) out.push_back((*channel[carried == 2 ? c : 0])[f]);
  }
}

}  // namespace corvina::media
