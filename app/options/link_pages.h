// The Audio page and the two server pages, Record (call recordings as files or through an Orrin
// server) and Hold (the ringtone file or a Lumo on-hold player). A server page tests its link
// inside a progress window only when the link is being switched on.
#pragma once

#include "app/options/options_page.h"

namespace corvina::app {

// Fields: UseAGC, UseHandset (stored only: nothing routes audio to a handset here), the capture
// device Record with RecordChannel, the playback device PlayDevice with PlayDeviceChannel.
class AudioPage final : public OptionsPage {
 public:
  AudioPage(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "audio"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

// Fields: Orrinlink (0 wave files, 1 Orrin), Folder, OrrinHost, OrrinAccessCode, Auto.
class RecordPage final : public OptionsPage {
 public:
  RecordPage(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "record"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

// Fields: UseLumoServer (0 ringtone file, 1 Lumo), LumoServer.
class HoldPage final : public OptionsPage {
 public:
  HoldPage(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "hold"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

// The highest channel number a device choice takes.
inline constexpr int kMaxDeviceChannel = 63;

}  // namespace corvina::app
