#include "platform/audio_device.h"

#include <algorithm>
#include <cstring>

namespace corvina::platform {

AudioBufferPlan PlaybackBufferPlan(std::uint32_t sampleRate) {
  return {std::clamp(static_cast<int>(sampleRate / 10), 20, 8192), 8};
}

AudioBufferPlan CaptureBufferPlan(std::uint32_t sampleRate) {
  return {std::clamp(static_cast<int>(sampleRate / 50), 32, 8192), 50};
}

ChannelPlacement PlaceStream(const AudioFormat& format, int maxChannels) {
  if (format.channels != 1 || format.deviceChannel <= 0 || format.deviceChannel >= maxChannels) {
    return {format.channels, 0};
  }
  return {format.deviceChannel + 1, format.deviceChannel};
}

void StreamFromDevice(const std::int16_t* device, ChannelPlacement placement, int streamChannels,
                      std::int16_t* stream, std::size_t frames) {
  if (placement.deviceChannels == streamChannels) {
    std::memcpy(stream, device, frames * static_cast<std::size_t>(streamChannels) * sizeof(std::int16_t));
    return;
  }
  const auto step = static_cast<std::size_t>(placement.deviceChannels);
  for (std::size_t f = 0; f < frames; ++f) stream[f] = device[f * step + static_cast<std::size_t>(placement.channel)];
}

void StreamToDevice(const std::int16_t* stream, int streamChannels, ChannelPlacement placement,
                    std::int16_t* device, std::size_t frames) {
  if (placement.deviceChannels == streamChannels) {
    std::memcpy(device, stream, frames * static_cast<std::size_t>(streamChannels) * sizeof(std::int16_t));
    return;
  }
  const auto step = static_cast<std::size_t>(placement.deviceChannels);
  std::fill_n(device, frames * step, 0);
  for (std::size_t f = 0; f < frames; ++f) device[f * step + static_cast<std::size_t>(placement.channel)] = stream[f];
}

}  // namespace corvina::platform
