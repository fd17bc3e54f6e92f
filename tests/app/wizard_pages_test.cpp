// The setup wizards' pages: the talk mode and quality shown from the stored switches and
// written back; the account details trimmed (all but the display name), an empty user name
// refused after the display name is kept, and an empty server moving the local SIP port to
// 5060; SIP Setup's Next and links following the choice.
#include <gtest/gtest.h>

#include <array>

#include "app/options/options_page.h"
#include "app/wizards/wizard_pages.h"
#include "app/wizards/wizard_texts.h"
#include "platform/memory_settings_store.h"

namespace corvina::app {
namespace {

class WizardPagesTest : public ::testing::Test {
 protected:
  std::unique_ptr<OptionsPage> Page(std::string_view name) {
    auto page = MakeOptionsPage(name, settings_, env_, 0);
    if (!page) page = MakeWizardPage(name, settings_, env_);
    page->Load();
    return page;
  }
  void Reset() {
    platform::MemorySettingsStore empty;
    store_.Swap(empty);
  }
  std::string Stored(std::string_view section, std::string_view key) {
    return settings_.GetSettingString(section, key, "<none>");
  }
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  OptionsEnvironment env_;
};

TEST_F(WizardPagesTest, TalkModeAndQualityReadTheStoreAndWriteItBack) {
  struct Case {
    const char* echo;  // nullptr: missing
    const char* handset;
    const char* quality;
    const char* mode;
    const char* shown;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, "speaker", "default"}, {"1", "", "", "speaker", "default"},
      {"0", "0", "0", "headset", "lower"},               {"0", "", "00", "headset", "lower"},
      {"1", "1", "yes", "handset", "lower"},             {"0", "x", "49", "handset", "lower"},
      {"", "0", "50", "speaker", "default"},             {"1", nullptr, "51", "speaker", "higher"},
  };
  for (const Case& c : cases) {
    Reset();
    if (c.echo) settings_.SetSettingString("Settings", "UseEchoCancellation", c.echo);
    if (c.handset) settings_.SetSettingString("Settings", "UseHandset", c.handset);
    if (c.quality) settings_.SetSettingString("SIP", "Quality", c.quality);
    auto page = Page("mode");
    EXPECT_EQ(page->Get("TalkMode"), c.mode) << c.echo << "/" << c.handset;
    EXPECT_EQ(page->Get("Quality"), c.shown) << c.quality;
  }
  const std::array<const char*, 5> written[] = {
      {"speaker", "higher", "1", "0", "70"}, {"headset", "default", "0", "0", "50"}, {"handset", "lower", "0", "1", "30"}};
  for (const auto& [mode, quality, echo, handset, stored] : written) {
    auto page = Page("mode");
    page->Set("TalkMode", mode);
    page->Set("Quality", quality);
    ASSERT_EQ(page->Confirm(), std::nullopt) << mode;
    EXPECT_EQ(Stored("Settings", "UseEchoCancellation"), echo) << mode;
    EXPECT_EQ(Stored("Settings", "UseHandset"), handset) << mode;
    EXPECT_EQ(Stored("SIP", "Quality"), stored) << quality;
    EXPECT_EQ(Page("mode")->Get("TalkMode"), mode);
    EXPECT_EQ(Page("mode")->Get("Quality"), quality);
  }
  auto page = Page("mode");
  page->Set("TalkMode", "loud");
  EXPECT_EQ(page->Confirm()->field, "TalkMode");
}

TEST_F(WizardPagesTest, SipDetailsTrimAllButTheNameRequireAUserAndAServerlessLineListensOn5060) {
  struct Case {
    const char* user;
    const char* server;
    const char* storedUser;  // nullptr: refused
    const char* port;
  };
  const Case cases[] = {{"  100 ", " pbx.example.org\t", "100", "<none>"},
                        {"100", "  ", "100", "5060"},
                        {" \t ", "pbx.example.org", nullptr, "<none>"}};
  for (const Case& c : cases) {
    Reset();
    auto page = Page("sipdetails");
    page->Set("DisplayName", "  Ann Lee ");
    page->Set("UserName", c.user);
    page->Set("Proxy", c.server);
    page->Set("ProxyPassword", " secret ");
    std::optional<OptionsMessage> refusal = page->Confirm();
    EXPECT_EQ(Stored("DefaultLine", "DisplayName"), "  Ann Lee ") << c.user;
    EXPECT_EQ(Stored("SIP", "Port"), c.port) << c.server;
    if (c.storedUser == nullptr) {
      ASSERT_TRUE(refusal.has_value());
      EXPECT_EQ(refusal->title, wizard_texts::kUserRequiredTitle);
      EXPECT_EQ(refusal->field, "UserName");
      EXPECT_EQ(Stored("DefaultLine", "UserName"), "<none>");
      continue;
    }
    EXPECT_EQ(refusal, std::nullopt);
    EXPECT_EQ(Stored("DefaultLine", "UserName"), c.storedUser);
    EXPECT_EQ(Stored("DefaultLine", "Proxy"), std::string(c.server).find('p') != std::string::npos ? "pbx.example.org" : "");
    EXPECT_EQ(Stored("DefaultLine", "ProxyPassword"), "secret");
    EXPECT_EQ(Page("sipdetails")->Get("UserName"), c.storedUser);
  }
}

TEST_F(WizardPagesTest, SipSetupNeedsAChoiceAndEachLinkFollowsItsOwn) {
  auto page = Page("sipsetup");
  auto& setup = static_cast<SipSetupPage&>(*page);
  EXPECT_FALSE(setup.CanGoNext());
  EXPECT_TRUE(page->Confirm().has_value());
  for (int choice : {SipSetupPage::kHaveAccount, SipSetupPage::kSignUp, SipSetupPage::kIpDirectly}) {
    ASSERT_TRUE(page->Set("Account", std::to_string(choice)));
    EXPECT_TRUE(setup.CanGoNext());
    EXPECT_EQ(setup.LinkEnabled(SipSetupPage::kSignUp), choice == SipSetupPage::kSignUp) << choice;
    EXPECT_EQ(setup.LinkEnabled(SipSetupPage::kIpDirectly), choice == SipSetupPage::kIpDirectly) << choice;
    EXPECT_EQ(page->Confirm(), std::nullopt);
  }
  EXPECT_FALSE(page->Set("Account", "3"));
  for (const char* section : {"Settings", "SIP", "DefaultLine"}) {  // the choice stores nothing
    EXPECT_TRUE(store_.ListValues(platform::Settings::SectionPath(section)).empty()) << section;
  }
}

}  // namespace
}  // namespace corvina::app
