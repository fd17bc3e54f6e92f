// The quick lists in the settings store: the quick-transfer save rules and refusals, holes kept
// by removal and reused by adding, the address book's delete cascade, and hotkeys that would
// shadow a menu shortcut or an in-call keypad key.
#include "contacts/quick_lists.h"

#include <gtest/gtest.h>
#include "contacts/ini_contact_store.h"
#include "platform/memory_settings_store.h"
#include "tests/support/temp_folder.h"

namespace corvina::contacts {
namespace {

class QuickListsTest : public ::testing::Test {
 protected:
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  NamedNumberList quick_{settings_, kQuickTransferList};
};

TEST_F(QuickListsTest, QuickTransferSavesRefusesAndReusesHoles) {
  struct Case {
    std::optional<int> entry;
    const char* name;
    const char* number;
    const char* refusal;  // title, or null when saved
  };
  const Case cases[] = {
      {{}, "Ann", "300", nullptr},          {{}, "", "302", nullptr},
      {{}, "Ann", "300", kExistingContactTitle}, {{}, "Bob", "", kNumberRequiredTitle},
      {{}, "Bob\r\nVia: x", "301", kControlCharacterTitle}, {{}, "Bob", "30\x01", kControlCharacterTitle},
      {0, "Ann", "300", nullptr},  // editing may keep name and number
      {7, "Ann", "300", "Error"},
  };
  for (const Case& c : cases) {
    std::optional<Refusal> refusal = quick_.Save(c.entry, c.name, c.number);
    EXPECT_EQ(refusal ? refusal->title : "", c.refusal ? c.refusal : "") << c.name;
  }
  EXPECT_TRUE(quick_.Remove(0));
  EXPECT_FALSE(quick_.Remove(0));
  EXPECT_EQ(settings_.GetSettingInt(kQuickTransferList, "MaxID", -1), 2);
  int saved = -1;
  EXPECT_FALSE(quick_.Save({}, "Cy", "303", &saved));
  EXPECT_EQ(saved, 0);
  std::vector<NamedNumber> entries = quick_.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name + entries[0].number + entries[1].name + entries[1].number, "Cy303302");

  // The auto-intercom list takes repeats and refuses only control characters.
  NamedNumberList intercom(settings_, kAutoIntercomList);
  EXPECT_FALSE(intercom.Save({}, "Desk", "400"));
  EXPECT_FALSE(intercom.Save({}, "Desk", "400"));
  EXPECT_TRUE(intercom.Save({}, "Desk\t", "400"));
  EXPECT_EQ(intercom.Entries().size(), 2u);
}

TEST_F(QuickListsTest, DeletingAContactRemovesQuickTransferItemsOfItsFirstName) {
  corvina::testing::TempFolder folder{"quick"};
  IniContactStore book(folder.Sub("contacts.ini"));
  book.Add({"Ann", "Lee", "300", ""});
  for (const char* name : {"ann", "ANN", "Annie", "Ann Lee"}) ASSERT_FALSE(quick_.Save({}, name, "300"));
  EXPECT_FALSE(DeleteContact(book, settings_, 99));
  EXPECT_EQ(quick_.Entries().size(), 4u);
  EXPECT_TRUE(DeleteContact(book, settings_, book.IdAt(0)));
  EXPECT_EQ(book.Count(), 0u);
  std::vector<std::string> left;
  for (const NamedNumber& e : quick_.Entries()) left.push_back(e.name);
  EXPECT_EQ(left, (std::vector<std::string>{"Annie", "Ann Lee"}));
}

TEST_F(QuickListsTest, HotkeysKeepTheirStoredValueAndRefuseClashes) {
  constexpr std::uint32_t kCtrl = kModControl * 65536, kShift = kModShift * 65536;
  const std::pair<std::uint32_t, const char*> cases[] = {
      {kCtrl + 'D', "Ctrl+D is the shortcut of the menu command \"Dial\""},
      {kCtrl + 'R', "\"Reject Call\""},
      {'A', "dials a keypad digit"},
      {kShift + '3', "dials a keypad digit"},
      {0x6A, "dials a keypad digit"},
      {kCtrl + 'K', nullptr},
      {(kModControl | kModAlt) * 65536 + 'D', nullptr},
      {0x74, nullptr},  // F5
  };
  HotkeyList hotkeys(settings_);
  for (auto [key, clash] : cases) {
    std::optional<Refusal> refusal = hotkeys.Set(0, key);
    if (clash == nullptr) {
      EXPECT_FALSE(refusal) << key;
      EXPECT_EQ(settings_.GetSettingString("Hotkey\\Details\\0", "Key", ""), std::to_string(key));
    } else {
      ASSERT_TRUE(refusal) << key;
      EXPECT_NE(refusal->text.find(clash), std::string::npos) << refusal->text;
    }
  }
  EXPECT_FALSE(hotkeys.Set(2, kCtrl + 'K'));
  settings_.SetSettingString("Hotkey\\Details\\1", "Other", "x");  // an entry without a key
  std::vector<HotkeyEntry> entries = hotkeys.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].VirtualKey(), 0x74u);
  EXPECT_FALSE(entries[1].key);
  EXPECT_EQ(entries[2].Modifiers(), kModControl);
  EXPECT_EQ(entries[2].VirtualKey(), static_cast<std::uint32_t>('K'));
}

}  // namespace
}  // namespace corvina::contacts
