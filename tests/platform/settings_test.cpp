// The settings operations and the numbered lists, run against both stores (the SQLite one
// the phone uses and the in-memory one other unit tests use), so the two cannot drift apart.
#include "platform/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "platform/memory_settings_store.h"
#include "platform/sqlite_settings_store.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

class SettingsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      folder_ = std::make_unique<corvina::testing::TempFolder>("settings");
      auto sqlite = std::make_unique<SqliteSettingsStore>(folder_->Sub("registry.db"));
      ASSERT_TRUE(sqlite->IsOpen());
      store_ = std::move(sqlite);
    } else {
      store_ = std::make_unique<MemorySettingsStore>();
    }
    settings_ = std::make_unique<Settings>(*store_);
  }
  void TearDown() override {
    settings_.reset();
    store_.reset();
    folder_.reset();
  }

  std::unique_ptr<corvina::testing::TempFolder> folder_;
  std::unique_ptr<SettingsStore> store_;
  std::unique_ptr<Settings> settings_;
};

TEST_P(SettingsTest, StringsRoundTripUnderTheProductKey) {
  bool found = true;
  EXPECT_EQ(settings_->GetSettingString("SIP", "Proxy", "none", &found), "none");
  EXPECT_FALSE(found);
  ASSERT_TRUE(settings_->SetSettingString("Line1", "DisplayName", "Zo\xC3\xAB \xF0\x9F\x93\x9E"));
  EXPECT_EQ(settings_->GetSettingString("Line1", "DisplayName", "", &found), "Zo\xC3\xAB \xF0\x9F\x93\x9E");
  EXPECT_TRUE(found);
  EXPECT_EQ(store_->ReadValue("Software\\Tessaly\\Corvina\\Line1", "DisplayName"), "Zo\xC3\xAB \xF0\x9F\x93\x9E");
  // An empty string is a stored value, distinct from an absent one, however it is passed.
  ASSERT_TRUE(settings_->SetSettingString("Line1", "AuthID", ""));
  EXPECT_EQ(settings_->GetSettingString("Line1", "AuthID", "dflt", &found), "");
  EXPECT_TRUE(found);
  ASSERT_TRUE(settings_->SetSettingString("Line1", "OutboundServer", std::string_view()));
  EXPECT_EQ(settings_->GetSettingString("Line1", "OutboundServer", "dflt", &found), "");
  EXPECT_TRUE(found);
}

TEST_P(SettingsTest, KeyAndValueNamesIgnoreCase) {
  ASSERT_TRUE(settings_->SetSettingString("Settings", "PlayDevice", "wav:/tmp/a.wav"));
  EXPECT_EQ(settings_->GetSettingString("settings", "PLAYDEVICE", ""), "wav:/tmp/a.wav");
  ASSERT_TRUE(settings_->SetSettingString("SETTINGS", "playdevice", "null"));
  EXPECT_EQ(settings_->GetSettingString("Settings", "PlayDevice", ""), "null");
  auto values = store_->ListValues(Settings::SectionPath("Settings"));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].first, "PlayDevice");  // the first spelling is kept
}

TEST_P(SettingsTest, SlashIsPartOfAKeyNameOnlyBackslashSeparates) {
  ASSERT_TRUE(settings_->SetSettingString("QuickTransfer/Details\\0", "Name", "Desk"));
  EXPECT_TRUE(store_->KeyExists("Software\\Tessaly\\Corvina\\QuickTransfer/Details"));
  EXPECT_FALSE(store_->KeyExists("Software\\Tessaly\\Corvina\\QuickTransfer"));
  auto subKeys = store_->ListSubKeys("Software\\Tessaly\\Corvina\\QuickTransfer/Details");
  EXPECT_EQ(subKeys, std::vector<std::string>{"0"});
}

TEST_P(SettingsTest, ValuesLongerThanTheBufferReadAsAbsent) {
  std::string exact(259, 'a');
  std::string tooLong(260, 'a');
  ASSERT_TRUE(settings_->SetSettingString("Email", "Exact", exact));
  ASSERT_TRUE(settings_->SetSettingString("Email", "TooLong", tooLong));
  EXPECT_EQ(settings_->GetSettingString("Email", "Exact", "d"), exact);
  bool found = true;
  EXPECT_EQ(settings_->GetSettingString("Email", "TooLong", "d", &found), "d");
  EXPECT_FALSE(found);
  // Characters, not bytes: 259 two-byte characters still fit; 130 four-byte ones (260 units) do not.
  std::string accented;
  for (int i = 0; i < 259; ++i) accented += "\xC3\xA9";
  ASSERT_TRUE(settings_->SetSettingString("Email", "Accented", accented));
  EXPECT_EQ(settings_->GetSettingString("Email", "Accented", "d"), accented);
  std::string pairs;
  for (int i = 0; i < 130; ++i) pairs += "\xF0\x9F\x93\x9E";
  ASSERT_TRUE(settings_->SetSettingString("Email", "Pairs", pairs));
  EXPECT_EQ(settings_->GetSettingString("Email", "Pairs", "d"), "d");
  EXPECT_EQ(settings_->GetSettingInt("Email", "TooLong", 9), 9);
}

TEST_P(SettingsTest, SwitchesFollowTheFirstCharacter) {
  struct Case {
    const char* stored;
    bool whenDefaultFalse;
    bool whenDefaultTrue;
  };
  const Case cases[] = {{"0", false, false}, {"00", false, false}, {"", false, true},   {"1", true, true},
                        {"true", true, true}, {"yes", true, true}, {"2", true, true},  {"false", true, true},
                        {" 0", true, true}};
  for (const Case& c : cases) {
    ASSERT_TRUE(settings_->SetSettingString("Settings", "DoNotDisturb", c.stored));
    EXPECT_EQ(settings_->GetSettingBool("Settings", "DoNotDisturb", false), c.whenDefaultFalse) << '"' << c.stored << '"';
    EXPECT_EQ(settings_->GetSettingBool("Settings", "DoNotDisturb", true), c.whenDefaultTrue) << '"' << c.stored << '"';
  }
  EXPECT_TRUE(settings_->GetSettingBool("Settings", "ShowMissedCalls", true));
  EXPECT_FALSE(settings_->GetSettingBool("Settings", "ShowStatus", false));
  ASSERT_TRUE(settings_->SetSettingBool("Settings", "ShowStatus", true));
  EXPECT_EQ(settings_->GetSettingString("Settings", "ShowStatus", ""), "1");
  ASSERT_TRUE(settings_->SetSettingBool("Settings", "ShowStatus", false));
  EXPECT_EQ(settings_->GetSettingString("Settings", "ShowStatus", ""), "0");
}

TEST_P(SettingsTest, IntegersReadTheirLeadingDigits) {
  const std::pair<const char*, int> cases[] = {{"12ab", 12}, {"ab", 0}, {"-127", -127}, {"5070", 5070},
                                               {"  42", 42}, {"+8", 8}, {"99999999999", 2147483647}};
  for (const auto& [stored, expected] : cases) {
    ASSERT_TRUE(settings_->SetSettingString("SIP", "Port", stored));
    EXPECT_EQ(settings_->GetSettingInt("SIP", "Port", 5070), expected) << stored;
  }
  ASSERT_TRUE(settings_->SetSettingString("SIP", "Port", ""));
  EXPECT_EQ(settings_->GetSettingInt("SIP", "Port", 5070), 5070);
  EXPECT_EQ(settings_->GetSettingInt("SIP", "RTPPortBase", 8000), 8000);
  ASSERT_TRUE(settings_->SetSettingInt("Settings", "PlayVolume", -127));
  EXPECT_EQ(settings_->GetSettingString("Settings", "PlayVolume", ""), "-127");
}

TEST_P(SettingsTest, AllocateReusesTheFirstHoleAndOtherwiseGrowsMaxId) {
  NumberedKeyList list(*settings_);
  settings_->SetSettingInt("QuickTransfer", "MaxID", 3);
  settings_->SetSettingString(NumberedKeyList::EntrySectionOf("QuickTransfer", 0), "Name", "a");
  settings_->SetSettingString(NumberedKeyList::EntrySectionOf("QuickTransfer", 2), "Name", "c");
  EXPECT_EQ(list.Allocate("QuickTransfer"), 1);
  EXPECT_EQ(settings_->GetSettingInt("QuickTransfer", "MaxID", -1), 3);

  settings_->SetSettingString(NumberedKeyList::EntrySectionOf("QuickTransfer", 1), "Name", "b");
  EXPECT_EQ(list.Allocate("QuickTransfer"), 3);
  EXPECT_EQ(settings_->GetSettingInt("QuickTransfer", "MaxID", -1), 4);

  // A list that does not exist yet starts at 0.
  EXPECT_EQ(list.Allocate("Hotkeys"), 0);
  EXPECT_EQ(settings_->GetSettingInt("Hotkeys", "MaxID", -1), 1);
}

TEST_P(SettingsTest, NextSkipsHolesAndStopsAtMaxId) {
  settings_->SetSettingInt("AutoIntercom", "MaxID", 4);
  for (int n : {0, 2, 3, 5}) {  // 5 lies beyond MaxID and must not be seen
    settings_->SetSettingString(NumberedKeyList::EntrySectionOf("AutoIntercom", n), "Number", std::to_string(n));
  }
  NumberedKeyList list(*settings_);
  list.Open("AutoIntercom");
  std::vector<int> seen;
  while (list.Next()) {
    seen.push_back(list.Index());
    EXPECT_EQ(settings_->GetSettingString(list.EntrySection(), "Number", ""), std::to_string(list.Index()));
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 2, 3}));
  EXPECT_FALSE(list.Next());

  list.Open("NoSuchList");
  EXPECT_FALSE(list.Next());
}

TEST_P(SettingsTest, DeleteKeyRemovesTheWholeSubtree) {
  settings_->SetSettingString("QuickTransfer\\0", "Name", "a");
  settings_->SetSettingString("QuickTransfer\\1", "Name", "b");
  settings_->SetSettingString("QuickTransferOther", "Name", "kept");
  EXPECT_TRUE(store_->DeleteKey(Settings::SectionPath("QuickTransfer")));
  EXPECT_FALSE(store_->KeyExists(Settings::SectionPath("QuickTransfer\\0")));
  EXPECT_EQ(settings_->GetSettingString("QuickTransfer\\1", "Name", "gone"), "gone");
  EXPECT_EQ(settings_->GetSettingString("QuickTransferOther", "Name", ""), "kept");
  EXPECT_FALSE(store_->DeleteKey(Settings::SectionPath("QuickTransfer")));
  EXPECT_TRUE(store_->DeleteValue(Settings::SectionPath("QuickTransferOther"), "name"));
  EXPECT_FALSE(store_->DeleteValue(Settings::SectionPath("QuickTransferOther"), "name"));
}

INSTANTIATE_TEST_SUITE_P(BothStores, SettingsTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Sqlite" : "Memory"; });

TEST(SettingsPath, SectionsLiveUnderTheProductKeyAndAreCut) {
  EXPECT_EQ(Settings::SectionPath("Line1"), "Software\\Tessaly\\Corvina\\Line1");
  EXPECT_EQ(Settings::SectionPath(std::string(400, 'x')).size(), 259u);
}

}  // namespace
}  // namespace corvina::platform
