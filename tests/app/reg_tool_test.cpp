// The settings tool's commands, answers and exit codes.
#include "app/reg_tool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/memory_settings_store.h"
#include "platform/settings.h"

namespace corvina::app {
namespace {

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

class RegToolTest : public ::testing::Test {
 protected:
  ToolRun Do(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    int code = RunRegTool(args, store_, out, err);
    return ToolRun{code, out.str(), err.str()};
  }
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
};

TEST_F(RegToolTest, SetThenGetGoesThroughTheSettingsKeys) {
  EXPECT_EQ(Do({"set", "Settings", "DoNotDisturb", "1"}).code, 0);
  ToolRun got = Do({"get", "Settings", "DoNotDisturb"});
  EXPECT_EQ(got.code, 0);
  EXPECT_EQ(got.out, "1\n");
  EXPECT_TRUE(settings_.GetSettingBool("Settings", "DoNotDisturb", false));
  // Values the phone only reads are set the same way.
  EXPECT_EQ(Do({"set", "Intercom", "Allow", "100,200"}).code, 0);
  EXPECT_EQ(settings_.GetSettingString("Intercom", "Allow", ""), "100,200");
  // Numbered-list entries are sections too, and an empty value is a value.
  EXPECT_EQ(Do({"set", "QuickTransfer/Details\\0", "Name", ""}).code, 0);
  EXPECT_EQ(Do({"get", "QuickTransfer/Details\\0", "Name"}).out, "\n");
}

TEST_F(RegToolTest, ListShowsValuesThenSectionsByNamesItTakesBack) {
  settings_.SetSettingString("QuickTransfer", "MaxID", "2");
  settings_.SetSettingString("QuickTransfer\\0", "Name", "Desk");
  settings_.SetSettingString("QuickTransfer\\1", "Name", "Lab");
  settings_.SetSettingString("Settings\\AudioProcess", "Gain", "3");
  ToolRun listed = Do({"list", "QuickTransfer"});
  EXPECT_EQ(listed.code, 0);
  EXPECT_EQ(listed.out, "MaxID=2\n[QuickTransfer\\0]\n[QuickTransfer\\1]\n");
  EXPECT_EQ(Do({"list"}).out, "[QuickTransfer]\n[Settings]\n");
  EXPECT_EQ(Do({"list", "Settings"}).out, "[Settings\\AudioProcess]\n");
  EXPECT_EQ(Do({"list", "Settings\\AudioProcess"}).out, "Gain=3\n");
  EXPECT_EQ(Do({"list", "Nothing"}).code, 1);
}

TEST_F(RegToolTest, DeleteRemovesAValueOrAWholeSection) {
  settings_.SetSettingString("Line1", "Proxy", "127.0.0.1");
  settings_.SetSettingString("Line1", "UserName", "200");
  EXPECT_EQ(Do({"delete", "Line1", "Proxy"}).code, 0);
  EXPECT_EQ(Do({"get", "Line1", "Proxy"}).code, 1);
  EXPECT_EQ(Do({"get", "Line1", "UserName"}).out, "200\n");
  EXPECT_EQ(Do({"delete", "Line1"}).code, 0);
  EXPECT_EQ(Do({"get", "Line1", "UserName"}).code, 1);
  ToolRun again = Do({"delete", "Line1"});
  EXPECT_EQ(again.code, 1);
  EXPECT_NE(again.err.find("no section \"Line1\""), std::string::npos);
}

TEST_F(RegToolTest, BadArgumentsExitWithTwoAndSayWhy) {
  const std::vector<std::vector<std::string>> bad = {
      {}, {"frob"}, {"get", "Settings"}, {"set", "Settings", "X"}, {"set", "", "X", "1"},
      {"delete"}, {"list", "a", "b"}, {"get", "a", "b", "c"}};
  for (const auto& args : bad) {
    ToolRun r = Do(args);
    EXPECT_EQ(r.code, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
  }
  ToolRun missing = Do({"get", "Settings", "Nope"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "error: no value \"Nope\" in section \"Settings\"\n");
}

}  // namespace
}  // namespace corvina::app
