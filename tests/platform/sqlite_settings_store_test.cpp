// The SQLite store answers from memory: its own writes reach memory and file at once, another
// connection's (the `reg` tool's) once the check interval has passed; memory matches the file.
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

TEST(SqliteSettingsStore, WritesHereAndElsewhereReachMemoryWithinTheIntervalAndMatchTheFile) {
  corvina::testing::TempFolder dir("store");
  const std::string db = dir.Sub("registry.db");
  FakeTickClock clock(7000);
  SqliteSettingsStore phoneStore(db, &clock), toolStore(db, &clock);  // the tool stands for another process
  ASSERT_TRUE(phoneStore.IsOpen() && toolStore.IsOpen());
  Settings phone(phoneStore), tool(toolStore);
  ASSERT_TRUE(phone.SetSettingString("Line1", "UserName", "alice") && phone.SetSettingInt("Recent", "Count", 1));
  EXPECT_EQ(phone.GetSettingString("Line1", "UserName", ""), "alice");

  ASSERT_TRUE(tool.SetSettingString("Line1", "UserName", "bob"));
  ASSERT_TRUE(toolStore.DeleteKey(Settings::SectionPath("Recent")));
  clock.Advance(SqliteSettingsStore::kCheckIntervalMs - 1);  // until then the phone reads its image
  EXPECT_EQ(phone.GetSettingString("Line1", "UserName", ""), "alice");
  clock.Advance(1);
  EXPECT_EQ(phone.GetSettingString("Line1", "UserName", ""), "bob");
  EXPECT_FALSE(phoneStore.KeyExists(Settings::SectionPath("Recent")));

  ASSERT_TRUE(phone.SetSettingInt("SIP", "Port", 5080));
  clock.Advance(SqliteSettingsStore::kCheckIntervalMs);
  SqliteSettingsStore fileStore(db);  // opened while the others stay open: what the file holds
  Tree file, inPhone;
  Walk(fileStore, "", file);
  Walk(phoneStore, "", inPhone);
  EXPECT_EQ(inPhone, file);
  EXPECT_EQ(file.at(Settings::SectionPath("SIP")).at(0).second, "5080");
}

}  // namespace
}  // namespace corvina::platform
