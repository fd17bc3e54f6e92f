// Plays the call-progress tones and the key click on the sound devices the settings name.
//
// Tone(name, loop, ringDevice) opens "System Tones/<name>.wav" in the data folder (making the
// folder, with the phone's own tones, when it is missing), optionally looping, and plays it on
// the device named by `PlayDevice` at `PlayVolume` (clamped to -127..127), or on the device
// named by `RingPlayDevice` at full level. It replaces the tone that was playing. A file that
// cannot be opened gives "Cannot find system file: " + path in the activity log (level 1) and
// no sound. Ringing is Tone("Ringing", false, true), once per ring announcement.
//
// KeyClick() plays the 0.1 s click on the play device and returns at once; it does not
// disturb a tone.
//
// The controller's thread owns the object: every entry point must be called there.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "media/audio_devices.h"
#include "media/playback_thread.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/settings.h"
#include "platform/thread_checker.h"

namespace corvina::media {

class TonePlayer {
 public:
  TonePlayer(AudioDevices& devices, platform::Settings& settings, platform::LogSink& log,
             const platform::MediaClock& clock, std::string dataFolder);
  ~TonePlayer();
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;

  // True when the tone has started playing.
  bool Tone(std::string_view name, bool loop, bool ringDevice);
  // Plays tone `name` on the device `deviceChoice` at `volume` (-127..127), whatever the
  // settings say (a device being chosen and not yet saved); replaces the tone playing.
  bool ToneOn(std::string_view name, const std::string& deviceChoice, int volume, bool loop);
  // One ring: "Ringing" once on the ring device (the call layer's ring rhythm repeats it).
  bool Ring();
  void StopTone();
  void KeyClick();
  void StopKeyClick();

 private:
  // Opens `deviceChoice` for `source` and starts a playback thread on it (null on failure,
  // which the device layer logs).
  std::unique_ptr<PlaybackThread> Play(AudioSinkPtr source, const std::string& deviceChoice, int volume);

  AudioDevices& devices_;
  platform::Settings& settings_;
  platform::LogSink& log_;
  const platform::MediaClock& clock_;
  const std::string dataFolder_;
  platform::ThreadChecker thread_;
  std::unique_ptr<PlaybackThread> tone_;   // the owning thread
  std::unique_ptr<PlaybackThread> click_;  // the owning thread
};

}  // namespace corvina::media
