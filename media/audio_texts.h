// The fixed texts of the sound devices: the default entries of the device lists, the names of
// the devices that are not sound cards, and the activity-log lines.
#pragma once

#include <string_view>

namespace corvina::media {

inline constexpr std::string_view kDefaultPlaybackChoice = "[Default Sound Out]";
inline constexpr std::string_view kDefaultCaptureChoice = "[Default Sound In]";
inline constexpr std::string_view kNullDeviceName = "null";
inline constexpr std::string_view kWavDevicePrefix = "wav:";

// Activity-log lines; the ones ending in ": " are followed by the device or the reason.
inline constexpr std::string_view kLogNoSoundCard = "No sound card: using the silent sound device";
inline constexpr std::string_view kLogPlaybackLost = "Sound output device lost, the call goes on without sound: ";
inline constexpr std::string_view kLogCaptureLost = "Sound input device lost, the call goes on without microphone: ";
inline constexpr std::string_view kLogPlaybackFailed = "Cannot open the sound output device: ";
inline constexpr std::string_view kLogCaptureFailed = "Cannot open the sound input device: ";
inline constexpr std::string_view kLogPlaybackChannelMissing =
    "The sound output device has no such channel, playing on channel 0: ";
inline constexpr std::string_view kLogCaptureChannelMissing =
    "The sound input device has no such channel, recording from channel 0: ";

}  // namespace corvina::media
