#include "media/software_gain.h"

#include <algorithm>

namespace corvina::media {

SoftwareGain::SoftwareGain(int volume) : target_(VolumeToLevel(volume)), current_(VolumeToLevel(volume)) {}

void SoftwareGain::SetVolume(int volume) { target_.store(VolumeToLevel(volume), std::memory_order_relaxed); }

void SoftwareGain::Apply(std::span<std::int32_t> samples, int channels) { Ramp(samples, channels); }

void SoftwareGain::Apply(std::span<std::int16_t> samples, int channels) { Ramp(samples, channels); }

template <typename Sample>
void SoftwareGain::Ramp(std::span<Sample> samples, int channels) {
  const std::uint32_t target = target_.load(std::memory_order_relaxed);
  const std::int64_t from = current_;
  current_ = target;
  if (from == kMaxVolumeLevel && target == kMaxVolumeLevel) return;
  const std::size_t step = static_cast<std::size_t>(std::max(1, channels));
  const std::int64_t frames = static_cast<std::int64_t>(samples.size() / step);
  const std::int64_t delta = static_cast<std::int64_t>(target) - from;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::int64_t frame = static_cast<std::int64_t>(i / step) + 1;
    const std::int64_t level = frames > 0 ? from + delta * std::min(frame, frames) / frames : target;
    samples[i] = static_cast<Sample>(static_cast<std::int64_t>(samples[i]) * level / kMaxVolumeLevel);
  }
}

}  // namespace corvina::media
