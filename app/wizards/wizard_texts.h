// The fixed texts of the setup wizards: page titles and subtitles, choices, cue texts, the
// meter's marks and the one refusal. An ampersand marks the keyboard accelerator of the letter
// after it.
#pragma once

#include <string_view>

namespace corvina::app::wizard_texts {

inline constexpr std::string_view kFirstRunTitle = "Corvina Setup Wizard";
inline constexpr std::string_view kAudioTitle = "Audio Setup Wizard";

inline constexpr std::string_view kModeTitle = "Mode & Audio Quality";
inline constexpr std::string_view kModeSubtitle = "Select your preferred talk mode and audio quality options.";
// The audio wizard's first page keeps the subtitle its dialog template has always carried.
inline constexpr std::string_view kAudioModeSubtitle = "Select your video camera and quality settings.";
inline constexpr std::string_view kMicrophoneTitle = "Microphone & Record Volume";
inline constexpr std::string_view kMicrophoneSubtitle =
    "Is my microphone working and is the recording volume appropriate?";
inline constexpr std::string_view kOutputTitle = "Sound Output & Volume";
inline constexpr std::string_view kOutputSubtitle =
    "Are my speakers or headphones working and is the playback volume appropriate?";
inline constexpr std::string_view kSipSetupTitle = "SIP Setup";
inline constexpr std::string_view kSipSetupSubtitle = "Signup for a SIP account";
inline constexpr std::string_view kSipDetailsTitle = "SIP Details";
inline constexpr std::string_view kSipDetailsSubtitle = "Please enter your SIP account details";

inline constexpr std::string_view kTalkSpeaker = "Use microphone and speaker (echo cancellation on)";
inline constexpr std::string_view kTalkHeadset = "Use a headset (echo cancellation off)";
inline constexpr std::string_view kTalkHandset = "Use phone handset (echo cancellation off)";
inline constexpr std::string_view kQualityDefault = "Use default settings (Recommended)";
inline constexpr std::string_view kQualityLower = "Prefer lower bandwidth usage";
inline constexpr std::string_view kQualityHigher = "Prefer higher quality audio";

inline constexpr std::string_view kSpeakPrompt =
    "Please speak, you should see the VU meter below moving as you talk. If not, check the sound device and "
    "channel below.";
inline constexpr std::string_view kMeterLow = "|- low";
inline constexpr std::string_view kMeterGood = "-|-   good   -|-";
inline constexpr std::string_view kMeterHigh = "high -|";
inline constexpr std::string_view kTestSoundPrompt =
    "You should hear a test sound. If not, check the sound device and channel below and the volume.";
inline constexpr std::string_view kTestSoundName = "Test";

inline constexpr std::string_view kHaveAccount = "Yes, I already have a sip account.";
inline constexpr std::string_view kNoAccount = "No, I don't have a sip account yet and I want to make free &internet calls.";
inline constexpr std::string_view kSignUpLink = "Sign up with Free SIP Provider";
inline constexpr std::string_view kUseIpDirectly =
    "I don't want to sign up. I will use my computer &IP directly (Advanced).";
inline constexpr std::string_view kSignUpTopic = "corvina/sip";
inline constexpr std::string_view kIpSetupTopic = "ipsetup";

inline constexpr std::string_view kNameCue = "<Type your name here>";
inline constexpr std::string_view kUserCue = "<Number from SIP provider>";
inline constexpr std::string_view kServerCue = "<Enter SIP server name>";

inline constexpr std::string_view kUserRequiredTitle = "User name required";
inline constexpr std::string_view kUserRequired =
    "You must enter a user name. If you have signed up with a SIP service, enter the user name provided. If you "
    "have not, just make up a name to identify the line.";
inline constexpr std::string_view kInvalidChoiceTitle = "Invalid Entry";

}  // namespace corvina::app::wizard_texts
