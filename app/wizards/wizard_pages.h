// The setup wizards' pages without a toolkit, built like the option pages: each holds its
// controls' values as strings, Load fills them as the page is shown and Confirm writes them as
// the user leaves the page forwards (or refuses, and the page stays). The Qt wizards, the
// console verbs and `corvina options` drive these objects, so one rule set decides what is
// stored.
//
// The first-run wizard runs Mode, Microphone, Output, SIP Setup and SIP Details; the audio
// wizard the first three (its first page with another subtitle).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/options/options_page.h"
#include "app/wizards/wizard_kind.h"

namespace corvina::app {

struct WizardPageInfo {
  std::string_view name;  // the page object's Name()
  std::string_view title;
  std::string_view subtitle;
};

// The pages of a wizard in order.
std::vector<WizardPageInfo> WizardPages(WizardKind kind);

// Fields: TalkMode ("speaker", "headset" or "handset") and Quality ("lower", "default" or
// "higher"). The talk mode writes UseEchoCancellation and UseHandset (stored only: nothing
// here routes audio to a handset), the quality Quality in section SIP (30, 50, 70).
class ModePage final : public OptionsPage {
 public:
  ModePage(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "mode"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

// One direction of the sound hardware: the device choice, its channel and its volume.
// Microphone: Record, RecordChannel, RecordVolume. Output: PlayDevice, PlayDeviceChannel,
// PlayVolume.
class SoundDevicePage final : public OptionsPage {
 public:
  SoundDevicePage(platform::Settings& settings, OptionsEnvironment& env, bool capture);
  std::string_view Name() const override { return capture_ ? "microphone" : "output"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
  std::string_view DeviceKey() const { return capture_ ? "Record" : "PlayDevice"; }
  std::string_view VolumeKey() const { return capture_ ? "RecordVolume" : "PlayVolume"; }

 private:
  bool capture_;
};

// Field: Account, empty until a choice is made: 0 "have an account", 1 "sign up", 2 "use the IP
// directly". Nothing is stored; Next needs a choice and each link follows its own choice.
class SipSetupPage final : public OptionsPage {
 public:
  enum Choice { kHaveAccount = 0, kSignUp = 1, kIpDirectly = 2 };
  SipSetupPage(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "sipsetup"; }
  void Load() override {}
  std::optional<OptionsMessage> Confirm() override;
  bool CanGoNext() const { return !Get("Account").empty(); }
  bool LinkEnabled(Choice link) const { return Get("Account") == std::to_string(link); }
};

// Fields: DisplayName, UserName, Proxy, ProxyPassword of section DefaultLine. Every text but
// the display name is trimmed; an empty user name is refused; an empty server sets the local SIP
// port to 5060.
class SipDetailsPage final : public OptionsPage {
 public:
  SipDetailsPage(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "sipdetails"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

// The wizard page named `name` ("mode", "microphone", "output", "sipsetup", "sipdetails"), else
// null.
std::unique_ptr<OptionsPage> MakeWizardPage(std::string_view name, platform::Settings& settings,
                                            OptionsEnvironment& env);

}  // namespace corvina::app
