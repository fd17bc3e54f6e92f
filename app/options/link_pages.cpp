#include "app/options/link_pages.h"

#include "app/options/line_pages.h"
#include "app/options/mail_page.h"
#include "app/options/net_pages.h"
#include "app/options/options_texts.h"
#include "app/wizards/wizard_pages.h"
#include "media/lumo_stream.h"
#include "media/recording_sink.h"

namespace corvina::app {
namespace {

namespace t = options_texts;

OptionsMessage Box(std::string_view title, std::string_view text, std::string_view field) {
  return {std::string(title), std::string(text), std::string(field)};
}

// Tests a link that is being switched on: nothing to say when it answered, a "Connection
// Failed" note when not, and a silent refusal (the page stays) when the user cancelled.
std::optional<OptionsMessage> TestNewLink(OptionsEnvironment& env, std::string_view title,
                                          const std::function<bool(platform::Event*)>& test, std::string_view failed,
                                          std::string_view field) {
  const WaitResult result = env.runTest ? env.runTest(title, test) : (test(nullptr) ? WaitResult::kDone
                                                                                      : WaitResult::kFailed);
  if (result == WaitResult::kCancelled) return Box("", "", field);
  if (result == WaitResult::kFailed && env.note) env.note(Box(t::kConnectionFailedTitle, failed, ""));
  return std::nullopt;
}

}  // namespace

AudioPage::AudioPage(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("UseAGC", Kind::kSwitch);
  AddField("UseHandset", Kind::kSwitch);
  AddField("Record", Kind::kText);
  AddField("RecordChannel", Kind::kNumber);
  AddField("PlayDevice", Kind::kText);
  AddField("PlayDeviceChannel", Kind::kNumber);
}

void AudioPage::Load() {
  Show("UseAGC", settings_.GetSettingBool("Settings", "UseAGC", true) ? "1" : "0");
  Show("UseHandset", settings_.GetSettingBool("Settings", "UseHandset", false) ? "1" : "0");
  for (const char* device : {"Record", "PlayDevice"}) {
    Show(device, settings_.GetSettingString("Settings", device, ""));
    const std::string channel = std::string(device) + "Channel";
    Show(channel, std::to_string(settings_.GetSettingInt("Settings", channel, 0)));
  }
}

std::optional<OptionsMessage> AudioPage::Confirm() {
  for (const char* device : {"Record", "PlayDevice"}) {
    if (auto refusal = CheckOptionText(Get(device), device, "device name")) return refusal;
    const std::string channel = std::string(device) + "Channel";
    if (!ParsePortNumber(Get(channel), 0, kMaxDeviceChannel)) {
      return Box(t::kInvalidTextTitle, "The channel must be a number from 0 to 63.", channel);
    }
  }
  settings_.SetSettingBool("Settings", "UseAGC", On("UseAGC"));
  settings_.SetSettingBool("Settings", "UseHandset", On("UseHandset"));
  for (const char* key : {"Record", "RecordChannel", "PlayDevice", "PlayDeviceChannel"}) {
    settings_.SetSettingString("Settings", key, Get(key));
  }
  return std::nullopt;
}

RecordPage::RecordPage(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("Orrinlink", Kind::kChoice, 2);
  AddField("Folder", Kind::kText);
  AddField("OrrinHost", Kind::kText);
  AddField("OrrinAccessCode", Kind::kPassword);
  AddField("Auto", Kind::kSwitch);
}

void RecordPage::Load() {
  Show("Orrinlink", settings_.GetSettingBool("Recorder", "Orrinlink", false) ? "1" : "0");
  std::string folder = settings_.GetSettingString("Recorder", "Folder", "");
  Show("Folder", folder.empty() ? env_.recordingsFolder : folder);
  Show("OrrinHost", settings_.GetSettingString("Recorder", "OrrinHost", media::kDefaultOrrinHost));
  Show("OrrinAccessCode", settings_.GetSettingString("Recorder", "OrrinAccessCode", ""));
  Show("Auto", settings_.GetSettingBool("Recorder", "Auto", false) ? "1" : "0");
}

std::optional<OptionsMessage> RecordPage::Confirm() {
  if (On("Orrinlink")) {
    const std::string host = Get("OrrinHost"), code = Get("OrrinAccessCode");
    if (host.empty()) return Box(t::kInvalidServerTitle, t::kInvalidOrrinServer, "OrrinHost");
    if (code.empty()) return Box(t::kInvalidAccessCodeTitle, t::kInvalidAccessCode, "OrrinAccessCode");
    if (auto refusal = CheckOptionText(host, "OrrinHost", "Orrin Server")) return refusal;
    if (auto refusal = CheckOptionText(code, "OrrinAccessCode", "Access Code")) return refusal;
    settings_.SetSettingString("Recorder", "OrrinHost", host);
    settings_.SetSettingString("Recorder", "OrrinAccessCode", code);
    if (settings_.GetSettingString("Recorder", "Orrinlink", "") != "1") {
      auto test = [this, host, code](platform::Event* stop) {
        return env_.testOrrin && env_.testOrrin(host, code, stop);
      };
      if (auto stay = TestNewLink(env_, t::kTestingOrrin, test, t::kOrrinFailed, "Orrinlink")) return stay;
    }
    settings_.SetSettingString("Recorder", "Orrinlink", "1");
  } else {
    settings_.SetSettingString("Recorder", "Orrinlink", "0");
    const std::string folder = Get("Folder");
    if (folder.empty()) return Box(t::kInvalidFolderTitle, t::kInvalidFolder, "Folder");
    if (auto refusal = CheckOptionText(folder, "Folder", "Folder")) return refusal;
    const bool writable = env_.folderWritable ? env_.folderWritable(folder) : OptionsFolderWritable(folder);
    if (!writable) return Box(t::kInvalidFolderTitle, t::kFolderNotWritable, "Folder");
    settings_.SetSettingString("Recorder", "Folder", folder);
  }
  settings_.SetSettingBool("Recorder", "Auto", On("Auto"));
  return std::nullopt;
}

HoldPage::HoldPage(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("UseLumoServer", Kind::kChoice, 2);
  AddField("LumoServer", Kind::kText);
}

void HoldPage::Load() {
  Show("UseLumoServer", settings_.GetSettingBool("Settings", "UseLumoServer", false) ? "1" : "0");
  Show("LumoServer", settings_.GetSettingString("Settings", "LumoServer", media::kDefaultLumoServer));
}

std::optional<OptionsMessage> HoldPage::Confirm() {
  if (!On("UseLumoServer")) {
    settings_.SetSettingString("Settings", "UseLumoServer", "0");
    return std::nullopt;
  }
  const std::string server = Get("LumoServer");
  if (server.empty()) return Box(t::kInvalidLumoTitle, t::kInvalidLumo, "LumoServer");
  if (auto refusal = CheckOptionText(server, "LumoServer", "Lumo Server")) return refusal;
  settings_.SetSettingString("Settings", "LumoServer", server);
  if (settings_.GetSettingString("Settings", "UseLumoServer", "") != "1") {
    auto test = [this, server](platform::Event* stop) { return env_.testLumo && env_.testLumo(server, stop); };
    if (auto stay = TestNewLink(env_, t::kTestingLumo, test, t::kLumoFailed, "UseLumoServer")) return stay;
  }
  settings_.SetSettingString("Settings", "UseLumoServer", "1");
  return std::nullopt;
}

std::unique_ptr<OptionsPage> MakeOptionsPage(std::string_view name, platform::Settings& settings,
                                             OptionsEnvironment& env, int lineEntry) {
  if (name == "audio") return std::make_unique<AudioPage>(settings, env);
  if (name == "lines") return std::make_unique<LinesPage>(settings, env, lineEntry);
  if (name == "advanced") return std::make_unique<AdvancedLinePage>(settings, env, lineEntry);
  if (name == "net1") return std::make_unique<Net1Page>(settings, env);
  if (name == "net2") return std::make_unique<Net2Page>(settings, env);
  if (name == "record") return std::make_unique<RecordPage>(settings, env);
  if (name == "hold") return std::make_unique<HoldPage>(settings, env);
  if (name == "email") return std::make_unique<EmailPage>(settings, env);
  if (name == "sipsetup") return nullptr;  // a choice that stores nothing
  return MakeWizardPage(name, settings, env);
}

}  // namespace corvina::app
