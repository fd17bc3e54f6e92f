#include "app/wizards/wizard_pages.h"

#include <algorithm>

#include "app/options/link_pages.h"
#include "app/options/options_texts.h"
#include "app/wizards/wizard_texts.h"

namespace corvina::app {
namespace {

namespace w = wizard_texts;

constexpr std::string_view kTalkModes[] = {"speaker", "headset", "handset"};
constexpr std::string_view kQualities[] = {"lower", "default", "higher"};
constexpr const char* kQualityValues[] = {"30", "50", "70"};

OptionsMessage BadChoice(std::string_view key, std::string_view allowed) {
  return {std::string(w::kInvalidChoiceTitle), "The " + std::string(key) + " must be one of " + std::string(allowed) + ".",
          std::string(key)};
}

template <std::size_t N>
int IndexOf(const std::string_view (&words)[N], std::string_view word) {
  const auto* at = std::find(std::begin(words), std::end(words), word);
  return at == std::end(words) ? -1 : static_cast<int>(at - std::begin(words));
}

}  // namespace

std::vector<WizardPageInfo> WizardPages(WizardKind kind) {
  std::vector<WizardPageInfo> pages = {
      {"mode", w::kModeTitle, kind == WizardKind::kAudio ? w::kAudioModeSubtitle : w::kModeSubtitle},
      {"microphone", w::kMicrophoneTitle, w::kMicrophoneSubtitle},
      {"output", w::kOutputTitle, w::kOutputSubtitle}};
  if (kind == WizardKind::kFirstRun) {
    pages.push_back({"sipsetup", w::kSipSetupTitle, w::kSipSetupSubtitle});
    pages.push_back({"sipdetails", w::kSipDetailsTitle, w::kSipDetailsSubtitle});
  }
  return pages;
}

ModePage::ModePage(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("TalkMode", Kind::kText);
  AddField("Quality", Kind::kText);
}

void ModePage::Load() {
  const std::string handset = settings_.GetSettingString("Settings", "UseHandset", "");
  const bool echoOff = settings_.GetSettingString("Settings", "UseEchoCancellation", "") == "0";
  if (!handset.empty() && handset != "0") {
    Show("TalkMode", "handset");
  } else {
    Show("TalkMode", echoOff ? "headset" : "speaker");
  }
  const int quality = settings_.GetSettingInt("SIP", "Quality", 50);
  Show("Quality", quality > 50 ? "higher" : quality < 50 ? "lower" : "default");
}

std::optional<OptionsMessage> ModePage::Confirm() {
  const int mode = IndexOf(kTalkModes, Get("TalkMode"));
  if (mode < 0) return BadChoice("TalkMode", "speaker, headset or handset");
  const int quality = IndexOf(kQualities, Get("Quality"));
  if (quality < 0) return BadChoice("Quality", "lower, default or higher");
  settings_.SetSettingString("Settings", "UseEchoCancellation", mode == 0 ? "1" : "0");
  settings_.SetSettingString("Settings", "UseHandset", mode == 2 ? "1" : "0");
  settings_.SetSettingString("SIP", "Quality", kQualityValues[quality]);
  return std::nullopt;
}

SoundDevicePage::SoundDevicePage(platform::Settings& settings, OptionsEnvironment& env, bool capture)
    : OptionsPage(settings, env), capture_(capture) {
  AddField(std::string(DeviceKey()), Kind::kText);
  AddField(std::string(DeviceKey()) + "Channel", Kind::kNumber);
  AddField(std::string(VolumeKey()), Kind::kNumber);
}

void SoundDevicePage::Load() {
  const std::string device(DeviceKey()), volume(VolumeKey());
  Show(device, settings_.GetSettingString("Settings", device, ""));
  Show(device + "Channel", std::to_string(settings_.GetSettingInt("Settings", device + "Channel", 0)));
  Show(volume, std::to_string(std::clamp(settings_.GetSettingInt("Settings", volume, 0), -127, 127)));
}

std::optional<OptionsMessage> SoundDevicePage::Confirm() {
  const std::string device(DeviceKey()), volume(VolumeKey()), channel = device + "Channel";
  if (auto refusal = CheckOptionText(Get(device), device, "device name")) return refusal;
  if (!ParsePortNumber(Get(channel), 0, kMaxDeviceChannel)) {
    return OptionsMessage{std::string(options_texts::kInvalidTextTitle), "The channel must be a number from 0 to 63.",
                          channel};
  }
  if (!ParsePortNumber(Get(volume), -127, 127)) {
    return OptionsMessage{std::string(options_texts::kInvalidTextTitle),
                          "The volume must be a number from -127 to 127.", volume};
  }
  for (const std::string& key : {device, channel, volume}) settings_.SetSettingString("Settings", key, Get(key));
  return std::nullopt;
}

SipSetupPage::SipSetupPage(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("Account", Kind::kChoice, 3);
}

std::optional<OptionsMessage> SipSetupPage::Confirm() {
  // Without a choice Next is greyed; a refusal without text keeps the page silently.
  if (!CanGoNext()) return OptionsMessage{{}, {}, "Account"};
  return std::nullopt;
}

SipDetailsPage::SipDetailsPage(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("DisplayName", Kind::kText);
  AddField("UserName", Kind::kText);
  AddField("Proxy", Kind::kText);
  AddField("ProxyPassword", Kind::kPassword);
}

void SipDetailsPage::Load() {
  for (const char* key : {"DisplayName", "UserName", "Proxy", "ProxyPassword"}) {
    Show(key, settings_.GetSettingString("DefaultLine", key, ""));
  }
}

std::optional<OptionsMessage> SipDetailsPage::Confirm() {
  constexpr std::pair<const char*, const char*> kLabels[] = {
      {"DisplayName", "name"}, {"UserName", "SIP account number"}, {"Proxy", "SIP server"}, {"ProxyPassword", "password"}};
  for (auto [key, label] : kLabels) {
    // What is stored is checked: a tab around a trimmed value goes with the trimming.
    const std::string text = std::string_view(key) == "DisplayName" ? Get(key) : TrimOptionText(Get(key));
    if (auto refusal = CheckOptionText(text, key, label)) return refusal;
  }
  settings_.SetSettingString("DefaultLine", "DisplayName", Get("DisplayName"));
  const std::string user = TrimOptionText(Get("UserName"));
  if (user.empty()) {
    return OptionsMessage{std::string(w::kUserRequiredTitle), std::string(w::kUserRequired), "UserName"};
  }
  settings_.SetSettingString("DefaultLine", "UserName", user);
  const std::string server = TrimOptionText(Get("Proxy"));
  settings_.SetSettingString("DefaultLine", "Proxy", server);
  // Without a server the phone is reached on its address directly, on the usual SIP port.
  if (server.empty()) settings_.SetSettingString("SIP", "Port", "5060");
  settings_.SetSettingString("DefaultLine", "ProxyPassword", TrimOptionText(Get("ProxyPassword")));
  return std::nullopt;
}

std::unique_ptr<OptionsPage> MakeWizardPage(std::string_view name, platform::Settings& settings,
                                            OptionsEnvironment& env) {
  if (name == "mode") return std::make_unique<ModePage>(settings, env);
  if (name == "microphone" || name == "output") {
    return std::make_unique<SoundDevicePage>(settings, env, name == "microphone");
  }
  if (name == "sipsetup") return std::make_unique<SipSetupPage>(settings, env);
  if (name == "sipdetails") return std::make_unique<SipDetailsPage>(settings, env);
  return nullptr;
}

}  // namespace corvina::app
