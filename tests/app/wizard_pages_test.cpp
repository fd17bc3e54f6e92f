// The setup wizards' pages: the talk mode and quality shown from the stored switches (what they
// write, and the account details' rules, are proved through `corvina options` in
// options_process_test.cpp); SIP Setup's Next and links following the choice, storing nothing.
#include <gtest/gtest.h>

#include <array>

#include "app/options/options_page.h"
#include "app/wizards/wizard_pages.h"
#include "platform/memory_settings_store.h"

namespace corvina::app {
namespace {

TEST(WizardPages, TalkModeAndQualityAreShownFromTheStore) {
  const std::array<const char*, 5> cases[] = {
      // UseEchoCancellation, UseHandset, Quality (nullptr: missing), talk mode, quality shown
      {nullptr, nullptr, nullptr, "speaker", "default"}, {"1", "", "", "speaker", "default"},
      {"0", "0", "0", "headset", "lower"},               {"0", "", "00", "headset", "lower"},
      {"1", "1", "yes", "handset", "lower"},             {"0", "x", "49", "handset", "lower"},
      {"", "0", "50", "speaker", "default"},             {"1", nullptr, "51", "speaker", "higher"},
  };
  for (const auto& [echo, handset, quality, mode, shown] : cases) {
    platform::MemorySettingsStore store;
    platform::Settings settings(store);
    OptionsEnvironment env;
    if (echo) settings.SetSettingString("Settings", "UseEchoCancellation", echo);
    if (handset) settings.SetSettingString("Settings", "UseHandset", handset);
    if (quality) settings.SetSettingString("SIP", "Quality", quality);
    auto page = MakeOptionsPage("mode", settings, env, 0);
    page->Load();
    EXPECT_EQ(page->Get("TalkMode"), mode) << (echo ? echo : "-") << "/" << (handset ? handset : "-");
    EXPECT_EQ(page->Get("Quality"), shown) << (quality ? quality : "-");
  }
}

TEST(WizardPages, SipSetupNeedsAChoiceAndEachLinkFollowsItsOwn) {
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  OptionsEnvironment env;
  SipSetupPage page(settings, env);
  EXPECT_FALSE(page.CanGoNext());
  EXPECT_TRUE(page.Confirm().has_value());
  for (int choice : {SipSetupPage::kHaveAccount, SipSetupPage::kSignUp, SipSetupPage::kIpDirectly}) {
    ASSERT_TRUE(page.Set("Account", std::to_string(choice)));
    EXPECT_TRUE(page.CanGoNext());
    EXPECT_EQ(page.LinkEnabled(SipSetupPage::kSignUp), choice == SipSetupPage::kSignUp) << choice;
    EXPECT_EQ(page.LinkEnabled(SipSetupPage::kIpDirectly), choice == SipSetupPage::kIpDirectly) << choice;
    EXPECT_EQ(page.Confirm(), std::nullopt);
  }
  EXPECT_FALSE(page.Set("Account", "3"));
  for (const char* section : {"Settings", "SIP", "DefaultLine"}) {  // the choice stores nothing
    EXPECT_TRUE(store.ListValues(platform::Settings::SectionPath(section)).empty()) << section;
  }
}

}  // namespace
}  // namespace corvina::app
