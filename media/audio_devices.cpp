#include "media/audio_devices.h"

#include <algorithm>

#include "media/audio_texts.h"
#include "media/wav_audio_device.h"

namespace corvina::media {
namespace {

using platform::AudioFormat;
using platform::AudioOpenError;
using platform::AudioOpenResult;

bool IsWav(const std::string& choice) { return choice.rfind(kWavDevicePrefix, 0) == 0; }
bool IsNull(const std::string& choice) { return choice == kNullDeviceName; }

// The card name a choice stands for: empty for the default entries.
std::string CardName(const std::string& choice) {
  return choice == kDefaultPlaybackChoice || choice == kDefaultCaptureChoice ? std::string() : choice;
}

// Files and the silent device have no channels to choose from.
AudioFormat WithoutDeviceChannel(AudioFormat format) {
  format.deviceChannel = 0;
  return format;
}

std::vector<std::string> WithDefault(std::string_view defaultChoice, std::vector<std::string> names) {
  names.insert(names.begin(), std::string(defaultChoice));
  return names;
}

// Tries `wanted`, then on a format refusal the ladder of channel counts and rates.
template <typename Stream, typename OpenFn>
AudioOpenResult<Stream> OpenWithFallback(const AudioFormat& wanted, OpenFn open) {
  AudioOpenResult<Stream> result = open(wanted);
  for (int channels = wanted.channels; channels >= 1 && result.error == AudioOpenError::kBadFormat; --channels) {
    for (std::uint32_t rate : kFallbackRates) {
      AudioFormat format{rate, channels, wanted.deviceChannel};
      if (format == wanted) continue;
      result = open(format);
      if (result.error != AudioOpenError::kBadFormat) break;
    }
  }
  return result;
}

}  // namespace

std::vector<std::string> AudioDevices::PlaybackChoices() {
  return WithDefault(kDefaultPlaybackChoice, cards_.PlaybackDevices());
}

std::vector<std::string> AudioDevices::CaptureChoices() {
  return WithDefault(kDefaultCaptureChoice, cards_.CaptureDevices());
}

bool AudioDevices::NoCardFor(const std::string& choice, bool capture) {
  if (capture ? cards_.HasDefaultCapture() : cards_.HasDefaultPlayback()) return false;
  std::string name = CardName(choice);
  if (!name.empty()) {
    std::vector<std::string> names = capture ? cards_.CaptureDevices() : cards_.PlaybackDevices();
    if (std::find(names.begin(), names.end(), name) != names.end()) return false;
  }
  if (!noCardLogged_.exchange(true)) log_.Log(kLogNoSoundCard, platform::kLogError);
  return true;
}

AudioOpenResult<platform::AudioOutput> AudioDevices::OpenOutput(const std::string& choice, const AudioFormat& format) {
  if (IsWav(choice)) return OpenWavOutput(choice.substr(kWavDevicePrefix.size()), WithoutDeviceChannel(format));
  if (IsNull(choice) || NoCardFor(choice, false)) return silent_.OpenOutput({}, WithoutDeviceChannel(format));
  auto result = cards_.OpenOutput(CardName(choice), format);
  if (result.stream) {
    NoteChannel(kLogPlaybackChannelMissing, choice.empty() ? kDefaultPlaybackChoice : choice, format,
                result.stream->Format());
  }
  return result;
}

AudioOpenResult<platform::AudioInput> AudioDevices::OpenInput(const std::string& choice, const AudioFormat& format) {
  if (IsWav(choice)) return OpenWavInput(choice.substr(kWavDevicePrefix.size()), WithoutDeviceChannel(format));
  if (IsNull(choice) || NoCardFor(choice, true)) return silent_.OpenInput({}, WithoutDeviceChannel(format));
  auto result = cards_.OpenInput(CardName(choice), format);
  if (result.stream) {
    NoteChannel(kLogCaptureChannelMissing, choice.empty() ? kDefaultCaptureChoice : choice, format,
                result.stream->Format());
  }
  return result;
}

void AudioDevices::NoteChannel(std::string_view line, std::string_view shownName, const AudioFormat& wanted,
                               const AudioFormat& got) {
  if (got.deviceChannel == wanted.deviceChannel) return;
  log_.Log(std::string(line) + std::string(shownName) + " (channel " + std::to_string(wanted.deviceChannel) + ")",
           platform::kLogError);
}

void AudioDevices::LogFailure(std::string_view line, std::string_view shownName, const std::string& detail) {
  std::string text = std::string(line) + std::string(shownName);
  if (!detail.empty()) text += " (" + detail + ")";
  log_.Log(text, platform::kLogError);
}

AudioOpenResult<platform::AudioOutput> AudioDevices::OpenPlayback(const std::string& choice,
                                                                  const AudioFormat& wanted) {
  auto result = OpenWithFallback<platform::AudioOutput>(
      wanted, [&](const AudioFormat& format) { return OpenOutput(choice, format); });
  if (!result.stream) LogFailure(kLogPlaybackFailed, choice.empty() ? kDefaultPlaybackChoice : choice, result.detail);
  return result;
}

AudioOpenResult<platform::AudioInput> AudioDevices::OpenCapture(const std::string& choice, const AudioFormat& wanted) {
  auto result = OpenWithFallback<platform::AudioInput>(
      wanted, [&](const AudioFormat& format) { return OpenInput(choice, format); });
  if (!result.stream) LogFailure(kLogCaptureFailed, choice.empty() ? kDefaultCaptureChoice : choice, result.detail);
  return result;
}

}  // namespace corvina::media
