// The headless phone's local audio path: the current line's session connected to the devices
// named by Record and PlayDevice, through the echo suppressor (UseEchoCancellation) and the
// gain control (UseAGC). User-interface thread.
#pragma once

#include <memory>

#include "media/audio_chain.h"
#include "media/audio_devices.h"
#include "media/capture_thread.h"
#include "media/echo_suppressor.h"
#include "media/media_session.h"
#include "media/playback_thread.h"
#include "platform/clock.h"
#include "platform/settings.h"

namespace corvina::app {

class CallAudio {
 public:
  CallAudio(media::AudioDevices& devices, platform::Settings& settings, const platform::MediaClock& clock)
      : devices_(devices), settings_(settings), clock_(clock) {}
  ~CallAudio() { Disconnect(); }
  CallAudio(const CallAudio&) = delete;
  CallAudio& operator=(const CallAudio&) = delete;

  // Connects `session` (replacing any earlier one); `line` names it.
  void Connect(int line, media::MediaSession& session);
  void Disconnect();
  int Line() const { return line_; }

 private:
  media::AudioDevices& devices_;
  platform::Settings& settings_;
  const platform::MediaClock& clock_;
  int line_ = 0;
  std::unique_ptr<media::PlaybackThread> playback_;
  std::unique_ptr<media::CaptureThread> capture_;
  std::shared_ptr<media::RtpSender> sender_;
};

}  // namespace corvina::app
