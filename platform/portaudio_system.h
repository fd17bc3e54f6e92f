// The sound cards, through PortAudio (ALSA, and JACK when a server runs). Device names are
// PortAudio's own; on desktops that run PipeWire or PulseAudio their ALSA devices ("pipewire",
// "pulse", "default") are among them. An empty name, or a name no longer present, opens the
// default device.
//
// The sound libraries' own chatter on standard error (ALSA's configuration errors, JACK's
// "server is not running") is switched off; what goes wrong is returned to the caller instead.
// The device lists are read afresh each time they are asked for while no stream is open, and
// before a stored name is given up for the default, so a headset plugged in later shows up.
#pragma once

#include <string>

#include "platform/audio_device.h"

namespace corvina::platform {

class PortAudioSystem final : public AudioDeviceSystem {
 public:
  PortAudioSystem() = default;
  ~PortAudioSystem() override;
  PortAudioSystem(const PortAudioSystem&) = delete;
  PortAudioSystem& operator=(const PortAudioSystem&) = delete;

  std::vector<std::string> PlaybackDevices() override;
  std::vector<std::string> CaptureDevices() override;
  bool HasDefaultPlayback() override;
  bool HasDefaultCapture() override;
  AudioOpenResult<AudioOutput> OpenOutput(const std::string& name, const AudioFormat& format) override;
  AudioOpenResult<AudioInput> OpenInput(const std::string& name, const AudioFormat& format) override;

  // Why PortAudio could not start (its own words), empty while it runs.
  std::string StartupProblem();

 private:
  // Makes sure the library is up; with `reread`, starts it again to read the devices afresh
  // when no stream is open. Call with the library lock held; false when it cannot start.
  bool Ready(bool reread);
  std::vector<std::string> Names(bool capture);
  bool HasDefault(bool capture);
  // The device of that name, or else the default one (paNoDevice when there is none). Call
  // with the library lock held.
  int FindDevice(const std::string& name, bool capture);

  // Both guarded by the library lock (PortAudio's state is the process's).
  bool initialised_ = false;  // this object holds one PortAudio initialisation
  std::string startupProblem_;
};

}  // namespace corvina::platform
