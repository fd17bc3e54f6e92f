// The SQLite store answers from memory: its own writes are in memory and in the file at once,
// another connection's writes (the `reg` tool in another process) reach it once the check
// interval has passed on its clock, and afterwards memory and file hold the same tree.
#include "platform/sqlite_settings_store.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/settings.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

using Tree = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

void Walk(SettingsStore& store, const std::string& path, Tree& out) {
  out[path] = store.ListValues(path);
  for (const std::string& sub : store.ListSubKeys(path)) Walk(store, path.empty() ? sub : path + "\\" + sub, out);
}

Tree TreeOf(SettingsStore& store) {
  Tree tree;
  Walk(store, "", tree);
  return tree;
}

TEST(SqliteSettingsStore, WritesHereAndElsewhereReachMemoryWithinTheIntervalAndMatchTheFile) {
  corvina::testing::TempFolder dir("store");
  const std::string db = dir.Sub("registry.db");
  FakeTickClock clock(7000);
  SqliteSettingsStore phoneStore(db, &clock);
  SqliteSettingsStore toolStore(db, &clock);  // stands for the other process
  ASSERT_TRUE(phoneStore.IsOpen() && toolStore.IsOpen());
  Settings phone(phoneStore);
  Settings tool(toolStore);
  ASSERT_TRUE(phone.SetSettingString("Line1", "UserName", "alice"));
  ASSERT_TRUE(phone.SetSettingString("Recent", "RecentCall0", "200"));
  EXPECT_EQ(phone.GetSettingString("Line1", "UserName", ""), "alice");

  ASSERT_TRUE(tool.SetSettingString("Line1", "UserName", "bob"));
  ASSERT_TRUE(toolStore.DeleteKey(Settings::SectionPath("Recent")));
  ASSERT_TRUE(toolStore.CreateKey(Settings::SectionPath("Line2")));
  // Reads come from memory: until the interval has passed the phone still sees its image.
  clock.Advance(SqliteSettingsStore::kCheckIntervalMs - 1);
  EXPECT_EQ(phone.GetSettingString("Line1", "UserName", ""), "alice");
  clock.Advance(1);
  EXPECT_EQ(phone.GetSettingString("Line1", "UserName", ""), "bob");
  EXPECT_FALSE(phoneStore.KeyExists(Settings::SectionPath("Recent")));
  EXPECT_TRUE(phoneStore.KeyExists(Settings::SectionPath("Line2")));
  EXPECT_EQ(tool.GetSettingString("Recent", "RecentCall0", "gone"), "gone");

  // A later write here lands on top of what the other writer did, in memory and in the file.
  ASSERT_TRUE(phone.SetSettingInt("SIP", "Port", 5080));
  clock.Advance(SqliteSettingsStore::kCheckIntervalMs);
  SqliteSettingsStore fileStore(db);  // opened while the others stay open: what the file holds
  const Tree file = TreeOf(fileStore);
  EXPECT_EQ(TreeOf(phoneStore), file);
  EXPECT_EQ(TreeOf(toolStore), file);
  ASSERT_EQ(file.at(Settings::SectionPath("SIP")).size(), 1u);
  EXPECT_EQ(file.at(Settings::SectionPath("SIP"))[0], (std::pair<std::string, std::string>{"Port", "5080"}));
}

}  // namespace
}  // namespace corvina::platform
