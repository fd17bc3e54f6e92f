// Sound devices by the name stored in the settings: the sound cards' own names (or the default
// entry, or an empty name, for the default card), "null" for the silent device, and
// "wav:PATH" for a WAV file. A card name no longer present opens the default card; with no
// sound card at all the default is the silent device, said once in the activity log.
//
// Opening for a call asks for the chain's format first (8000 Hz mono); a device that refuses
// it is tried at 44100, 22050, 11025 and 8000 Hz, for each channel count from the asked one
// down to mono, and the caller converts between the device's rate and the chain's. A format's
// device channel reaches the sound cards only; a card without that channel plays or captures on
// its first channel, and the activity log says so.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audio_device.h"
#include "platform/log_sink.h"
#include "platform/null_audio.h"

namespace corvina::media {

class AudioDevices {
 public:
  AudioDevices(platform::AudioDeviceSystem& cards, platform::LogSink& log) : cards_(cards), log_(log) {}

  // The lists as the option pages show them: the default entry, then the cards' devices.
  std::vector<std::string> PlaybackChoices();
  std::vector<std::string> CaptureChoices();

  // Opens the device named `choice` in exactly `format` (any thread).
  platform::AudioOpenResult<platform::AudioOutput> OpenOutput(const std::string& choice,
                                                              const platform::AudioFormat& format);
  platform::AudioOpenResult<platform::AudioInput> OpenInput(const std::string& choice,
                                                            const platform::AudioFormat& format);

  // Opens `choice` in `wanted`, or else in the first format of the fallback ladder that the
  // device takes; the stream's Format() says which. A failure is logged.
  platform::AudioOpenResult<platform::AudioOutput> OpenPlayback(const std::string& choice,
                                                                const platform::AudioFormat& wanted);
  platform::AudioOpenResult<platform::AudioInput> OpenCapture(const std::string& choice,
                                                              const platform::AudioFormat& wanted);

  platform::LogSink& Log() { return log_; }

 private:
  // True (and logs the fallback once) when `choice` means a sound card but there is none.
  bool NoCardFor(const std::string& choice, bool capture);
  // Logs that a card opened on channel 0 instead of the channel asked for.
  void NoteChannel(std::string_view line, std::string_view shownName, const platform::AudioFormat& wanted,
                   const platform::AudioFormat& got);
  void LogFailure(std::string_view line, std::string_view shownName, const std::string& detail);

  platform::AudioDeviceSystem& cards_;
  platform::LogSink& log_;
  platform::NullAudioSystem silent_;
  std::atomic<bool> noCardLogged_{false};  // any thread
};

// The rates tried, in order, when a device refuses the chain's format.
inline constexpr std::uint32_t kFallbackRates[] = {44100, 22050, 11025, 8000};

}  // namespace corvina::media
