// The Transfer pop-up and what hangs off it: its items from the quick-transfer list or the
// address book and their enabled states, speed entries dialling the item of the menu that was
// opened, and the hotkeys' registration and intercom.
#include "contacts/quick_lists.h"
#include "tests/app/phone_controller_fixture.h"

namespace corvina::app {
namespace {

std::string MenuText(const std::vector<TransferMenuItem>& menu) {
  std::string out;
  for (const TransferMenuItem& i : menu) {
    out += (i.Separator() ? "-" : std::to_string(i.id) + " " + i.text + (i.enabled ? "" : " (grey)")) + "|";
  }
  return out;
}

TEST_F(PhoneControllerTest, TransferMenuFollowsTheListAndTheCall) {
  EXPECT_EQ(MenuText(controller_->TransferMenu()), "2050 Manage Quick Transfer List...|");
  contacts::NamedNumberList quick(settings_, contacts::kQuickTransferList);
  for (auto [name, number] : {std::pair{"Ann", "300"}, {"Gap", "301"}, {"", "302"}}) {
    ASSERT_FALSE(quick.Save({}, name, number));
  }
  ASSERT_TRUE(quick.Remove(1));
  EXPECT_EQ(MenuText(controller_->TransferMenu()), "7000 Ann <300> (grey)|7001 302 (grey)|-|2050 Manage Quick Transfer List...|");
  EXPECT_TRUE(view_.menus[2050].first);
  Connect("20");
  EXPECT_EQ(MenuText(controller_->TransferMenu()), "7000 Ann <300>|7001 302|-|2050 Manage Quick Transfer List... (grey)|");
  EXPECT_FALSE(view_.menus[2050].first);

  contacts::IniContactStore book(folder_ + "/contacts.ini");
  book.Add({"Lee", "Roy", "sip:lee@x.org", ""});
  contacts_ = &book;
  Build(nullptr);
  settings_.SetSettingString("Settings", "UseAddressBook", "0");
  EXPECT_EQ(MenuText(controller_->TransferMenu()).substr(0, 14), "7000 Ann <300>");
  settings_.SetSettingString("Settings", "UseAddressBook", "1");
  EXPECT_EQ(MenuText(controller_->TransferMenu()), "7000 Lee Roy <sip:lee@x.org> (grey)|-|2050 Manage Quick Transfer List...|");
}

TEST_F(PhoneControllerTest, SpeedEntryDialsTheItemOfTheOpenedMenu) {
  contacts::NamedNumberList quick(settings_, contacts::kQuickTransferList);
  for (const char* number : {"300", "301", "302"}) ASSERT_FALSE(quick.Save({}, "", number));
  ASSERT_TRUE(quick.Remove(1));
  CommandProcessor verbs;
  RegisterPhoneVerbs(verbs, [this] { return controller_.get(); });
  Connect("20");
  EXPECT_EQ(verbs.Execute("command 7100"), "ok");
  EXPECT_EQ(view_.transferMenu.size(), 4u);
  ASSERT_TRUE(quick.Remove(0));  // the list changes while the menu is open
  EXPECT_EQ(verbs.Execute("command 7001"), "ok");
  EXPECT_TRUE(lines_[0]->hold);
  EXPECT_EQ(controller_->TransferSource(), 0);
  EXPECT_EQ(lines_[1]->ops, (std::vector<std::string>{"call 302"}));

  // The transfer is pending: the menu's items are greyed and cannot be chosen.
  EXPECT_EQ(verbs.Execute("command 7100"), "ok");
  EXPECT_EQ(verbs.Execute("command 7000"), "error: command 7000 is not available now");
  EXPECT_EQ(verbs.Execute("command 2050"), "ok");
}

TEST_F(PhoneControllerTest, HotkeysRegisterAfreshAndHoldIntercomTowardTheirEntry) {
  HotkeyBindings bindings;
  contacts::HotkeyList list(settings_);
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(list.Set(i, 0x70 + i));
  bindings.Apply(list.Entries(), view_);
  EXPECT_EQ(view_.hotkeys, (std::map<int, std::uint32_t>{{6, 0x70}, {7, 0x71}, {8, 0x72}}));
  ASSERT_TRUE(list.Remove(0) && list.Remove(2));
  bindings.Apply(list.Entries(), view_);
  EXPECT_EQ(view_.hotkeys, (std::map<int, std::uint32_t>{{6, 0x71}}));  // 7 and 8 went as well
  EXPECT_EQ(bindings.PositionOf(6), 0);
  EXPECT_FALSE(bindings.PositionOf(7));

  contacts::NamedNumberList intercom(settings_, contacts::kAutoIntercomList);
  ASSERT_FALSE(intercom.Save({}, "Desk", "400"));
  ASSERT_FALSE(intercom.Save({}, "Lab", "401"));
  ASSERT_TRUE(intercom.Remove(0));
  EXPECT_FALSE(controller_->HotkeyIntercom(1, true));
  EXPECT_TRUE(controller_->HotkeyIntercom(0, true));
  EXPECT_EQ(lines_[0]->ops, (std::vector<std::string>{"call 401"}));
  EXPECT_TRUE(controller_->IntercomHeld());
  EXPECT_TRUE(controller_->HotkeyIntercom(0, false));
  EXPECT_FALSE(controller_->IntercomHeld());
}

}  // namespace
}  // namespace corvina::app
