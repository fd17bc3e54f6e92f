// The silent device: playback swallows every block and capture gives silence, both at the
// pace of a real device, in any format.
#pragma once

#include "platform/audio_device.h"

namespace corvina::platform {

class NullAudioSystem final : public AudioDeviceSystem {
 public:
  std::vector<std::string> PlaybackDevices() override { return {}; }
  std::vector<std::string> CaptureDevices() override { return {}; }
  bool HasDefaultPlayback() override { return true; }
  bool HasDefaultCapture() override { return true; }
  AudioOpenResult<AudioOutput> OpenOutput(const std::string& name, const AudioFormat& format) override;
  AudioOpenResult<AudioInput> OpenInput(const std::string& name, const AudioFormat& format) override;
};

}  // namespace corvina::platform
