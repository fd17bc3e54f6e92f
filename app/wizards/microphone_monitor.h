// Listens to a capture device while the wizard's microphone page shows, so that its meter moves
// as the user talks: the device named on the page (saved or not) at the page's record volume,
// its level reported on the user-interface thread in the meters' dB (AudioRoute). Nothing of
// what it hears goes anywhere else. User-interface thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "media/audio_devices.h"
#include "media/capture_thread.h"
#include "media/ui_report.h"
#include "platform/thread_checker.h"
#include "platform/ui_queue.h"

namespace corvina::app {

class MicrophoneMonitor {
 public:
  MicrophoneMonitor(media::AudioDevices& devices, platform::UiQueue& ui, std::function<void(int level)> onLevel);
  ~MicrophoneMonitor();
  MicrophoneMonitor(const MicrophoneMonitor&) = delete;
  MicrophoneMonitor& operator=(const MicrophoneMonitor&) = delete;

  // Listens to `deviceChoice` at `volume` (-127..127) instead of what it listened to; false
  // when the device does not open (the level then reads silence).
  bool Listen(const std::string& deviceChoice, int volume);
  void SetVolume(int volume);
  // Lets the device go; the level reads silence.
  void Stop();

 private:
  platform::ThreadChecker uiThread_;
  media::AudioDevices& devices_;
  std::function<void(int)> onLevel_;             // user-interface thread
  media::UiReport<int> report_;                  // carries the capture thread's levels over
  std::unique_ptr<media::CaptureThread> capture_;  // user-interface thread
};

}  // namespace corvina::app
