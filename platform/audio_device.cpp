#include "platform/audio_device.h"

#include <algorithm>

namespace corvina::platform {

AudioBufferPlan PlaybackBufferPlan(std::uint32_t sampleRate) {
  return {std::clamp(static_cast<int>(sampleRate / 10), 20, 8192), 8};
}

AudioBufferPlan CaptureBufferPlan(std::uint32_t sampleRate) {
  return {std::clamp(static_cast<int>(sampleRate / 50), 32, 8192), 50};
}

}  // namespace corvina::platform
