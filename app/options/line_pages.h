// The Lines page and its Advanced Line Settings dialog. Both work on one entry of the line
// chooser: 0 "Default Line Settings" (section "DefaultLine"), 1 and 2 "Line n" (section "Linen").
#pragma once

#include "app/options/options_page.h"

namespace corvina::app {

std::string OptionsLineSection(int entry);
std::string OptionsLineEntryName(int entry);

// Fields: UseDefault (lines 1 and 2 only), DisplayName, UserName, Proxy, ProxyPassword.
class LinesPage final : public OptionsPage {
 public:
  LinesPage(platform::Settings& settings, OptionsEnvironment& env, int entry);
  std::string_view Name() const override { return "lines"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;

  int Entry() const { return entry_; }
  // Saves the page for the current entry, then loads `entry`; a refusal keeps the current one.
  std::optional<OptionsMessage> SwitchTo(int entry);
  // The caption of the button under the fields and whether it is bold: modified when the
  // chosen section's outbound or authentication choice is not 0.
  std::pair<std::string, bool> AdvancedCaption() const;

 private:
  int entry_;
};

// Fields: UseOutboundServer (0 the line's server, 1 another, 2 none), OutboundServer,
// UseAuthentication (0 the user name, 1 another), AuthID.
class AdvancedLinePage final : public OptionsPage {
 public:
  AdvancedLinePage(platform::Settings& settings, OptionsEnvironment& env, int entry);
  std::string_view Name() const override { return "advanced"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
  // "Restore Defaults": both choices back to 0.
  void RestoreDefaults();

 private:
  int entry_;
};

}  // namespace corvina::app
