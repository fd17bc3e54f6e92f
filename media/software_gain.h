// The volume of a sound device, applied in software. A volume setting runs from -127 to 127;
// it maps to a level of 0..65535 as min((v + 36) * 1424, 65535) above -36, and -36 or lower
// mutes (level 0). The level scales the samples linearly (65535 = unchanged). A change of
// volume never jumps: the next block ramps from the old factor to the new one.
//
// Threads: SetVolume may be called from any thread (the controller's); Apply belongs to the
// device thread that moves the samples.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

namespace corvina::media {

inline constexpr int kMinVolume = -127;
inline constexpr int kMaxVolume = 127;
inline constexpr int kMuteVolume = -36;  // this and below mute
inline constexpr std::uint32_t kMaxVolumeLevel = 65535;

// True when a volume setting mutes the device.
constexpr bool VolumeMutes(int volume) { return volume <= kMuteVolume; }

// The device level of a volume setting (clamped to -127..127 first).
constexpr std::uint32_t VolumeToLevel(int volume) {
  const int v = volume < kMinVolume ? kMinVolume : (volume > kMaxVolume ? kMaxVolume : volume);
  if (VolumeMutes(v)) return 0;
  const std::uint32_t level = static_cast<std::uint32_t>(v - kMuteVolume) * 1424u;
  return level > kMaxVolumeLevel ? kMaxVolumeLevel : level;
}

class SoftwareGain {
 public:
  explicit SoftwareGain(int volume = 0);

  // Sets the volume the following blocks move to (any thread).
  void SetVolume(int volume);
  // The level the gain is at or moving to.
  std::uint32_t TargetLevel() const { return target_.load(std::memory_order_relaxed); }

  // Scales `samples` (interleaved frames of `channels` samples) in place, moving the factor
  // linearly from where the last block ended to the target across this block. Works on the
  // internal scale (int32) and on 16-bit samples alike; gains never exceed unity, so nothing
  // can overflow.
  void Apply(std::span<std::int32_t> samples, int channels = 1);
  void Apply(std::span<std::int16_t> samples, int channels = 1);

 private:
  template <typename Sample>
  void Ramp(std::span<Sample> samples, int channels);

  std::atomic<std::uint32_t> target_;  // written by any thread, read by the device thread
  std::uint32_t current_;              // device thread only: level at the end of the last block
};

}  // namespace corvina::media
