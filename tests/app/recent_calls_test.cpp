// Recent calls and the dial box's list:
// - a text already in a slot (any case) only refreshes that slot; a new one takes the first
//   free slot, or the oldest when all are taken (slot 1 when none is older than now);
// - Redial picks the greatest date, slot 0 when no date is stored;
// - the list shows a separator only between recent and address-book items.
#include <gtest/gtest.h>

#include "app/controller/dial_list.h"
#include "app/logs/recent_calls.h"
#include "platform/memory_settings_store.h"

namespace corvina::app {
namespace {

class RecentCallsTest : public ::testing::Test {
 protected:
  std::string Get(const char* stem, int slot) {
    return settings_.GetSettingString("Recent", stem + std::to_string(slot), "-");
  }
  void Put(int slot, const std::string& text, const char* date) {
    settings_.SetSettingString("Recent", "RecentCall" + std::to_string(slot), text);
    if (date) settings_.SetSettingString("Recent", "RecentCallDate" + std::to_string(slot), date);
  }

  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  platform::FakeWallClock clock_{5000000000};  // past 2038: dates need 64 bits
  RecentCalls recent_{settings_, clock_};
};

TEST_F(RecentCallsTest, SlotsAreReusedRefreshedOrReplacedByAge) {
  recent_.AddRecentCall("201", false);
  recent_.AddRecentCall(" Ann <sip:ann@h>", true);
  EXPECT_EQ(Get("RecentCall", 0), "201");
  EXPECT_EQ(Get("RecentCallDate", 0), "5000000000");
  EXPECT_EQ(Get("RecentCallReceived", 1), "1");

  clock_.Advance(10);
  recent_.AddRecentCall(" ANN <SIP:ANN@H>", false);  // same text in another case
  EXPECT_EQ(Get("RecentCall", 1), " Ann <sip:ann@h>");
  EXPECT_EQ(Get("RecentCallDate", 1), "5000000010");
  EXPECT_EQ(Get("RecentCallReceived", 1), "0");
  EXPECT_EQ(Get("RecentCall", 2), "-");

  for (int slot = 2; slot < 10; ++slot) Put(slot, "n" + std::to_string(slot), slot == 6 ? "4000000000" : "4999999999");
  recent_.AddRecentCall("new", false);
  EXPECT_EQ(Get("RecentCall", 6), "new");  // the oldest
  EXPECT_EQ(Get("RecentCallDate", 6), "5000000010");

  // None older than now: slot 1 gives way.
  for (int slot = 0; slot < 10; ++slot) Put(slot, "m" + std::to_string(slot), nullptr);
  for (int slot = 0; slot < 10; ++slot) store_.DeleteValue(platform::Settings::SectionPath("Recent"), "RecentCallDate" + std::to_string(slot));
  recent_.AddRecentCall("latest", true);
  EXPECT_EQ(Get("RecentCall", 1), "latest");
  EXPECT_EQ(Get("RecentCall", 0), "m0");

  recent_.AddRecentCall(std::string(300, '7'), false);
  for (int slot = 0; slot < 10; ++slot) EXPECT_LE(Get("RecentCall", slot).size(), 259u);
}

TEST_F(RecentCallsTest, RedialPicksTheGreatestDate) {
  EXPECT_EQ(recent_.RedialText(), "");
  Put(0, "zero", nullptr);
  Put(3, "three", nullptr);
  EXPECT_EQ(recent_.RedialText(), "zero");  // no dates at all
  Put(3, "three", "4000000000");
  Put(5, "five", "4000000001");
  Put(7, "seven", "4000000001");  // a tie keeps the earlier slot
  EXPECT_EQ(recent_.RedialText(), "five");
  recent_.AddRecentCall("three", false);
  EXPECT_EQ(recent_.RedialText(), "three");
}

TEST_F(RecentCallsTest, DialListPutsTheSeparatorOnlyBetweenTheTwoGroups) {
  const std::vector<AddressBookItem> book = {{"Ann", "201"}, {"Bob", "sip:bob@h"}};
  DialList list = FillDialList(recent_, settings_, book);
  ASSERT_EQ(list.items.size(), 2u);
  EXPECT_EQ(list.items[0].text, "Ann <201>");
  EXPECT_EQ(AddressBookPosition(list, 1), 1u);

  Put(2, "two", "123");
  Put(4, "four", nullptr);
  list = FillDialList(recent_, settings_, book);
  std::vector<std::string> texts;
  for (const auto& item : list.items) texts.push_back(item.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"two", "four", "_____________________", "Ann <201>", "Bob <sip:bob@h>"}));
  EXPECT_EQ(list.items[0].data, 123);
  EXPECT_EQ(list.items[1].data, 5000000000);  // now when absent
  EXPECT_EQ(list.items[2].data, 0);
  EXPECT_EQ(AddressBookPosition(list, 0), 3u);
  EXPECT_EQ(AddressBookPosition(list, 1), 4u);
  EXPECT_EQ(AddressBookPosition(list, 2), std::nullopt);
  EXPECT_EQ(AddressBookPosition(list, -1), std::nullopt);

  EXPECT_EQ(FillDialList(recent_, settings_, {}).items.size(), 2u);  // no separator without entries
  settings_.SetSettingBool("Settings", "ShowAddressBook", false);
  list = FillDialList(recent_, settings_, book);
  EXPECT_EQ(list.items.size(), 2u);
  EXPECT_EQ(AddressBookPosition(list, 0), std::nullopt);
}

}  // namespace
}  // namespace corvina::app
