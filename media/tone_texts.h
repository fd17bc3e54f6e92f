// The fixed texts of the tone player: the tone folder, the tone names the phone plays, and the
// activity-log line for a missing tone file.
#pragma once

#include <string_view>

namespace corvina::media {

inline constexpr std::string_view kSystemTonesFolder = "System Tones";
inline constexpr std::string_view kToneFileExtension = ".wav";

inline constexpr std::string_view kToneDialtone = "Dialtone";
inline constexpr std::string_view kToneBusy = "Busy";
inline constexpr std::string_view kToneCalling = "Calling";
inline constexpr std::string_view kToneRinging = "Ringing";
inline constexpr std::string_view kToneTest = "Test";  // the sound-output option page's sample
inline constexpr std::string_view kToneHold = "Hold";  // music on hold

// Followed by the path of the file.
inline constexpr std::string_view kLogCannotFindSystemFile = "Cannot find system file: ";

// The settings the tone player reads (section "Settings").
inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kSettingPlayDevice = "PlayDevice";
inline constexpr std::string_view kSettingPlayVolume = "PlayVolume";
inline constexpr std::string_view kSettingRingPlayDevice = "RingPlayDevice";

}  // namespace corvina::media
