// Where a phone keeps its files, and the wrap-safe tick comparison.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/paths.h"
#include "tests/support/temp_folder.h"

namespace corvina::platform {
namespace {

// Sets environment variables for one test and puts the old values back afterwards.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    Remember(name);
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }

 private:
  void Remember(const char* name) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old == nullptr ? std::nullopt : std::optional<std::string>(old));
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(PhonePaths, APhoneHomeHoldsEverything) {
  ScopedEnv env;
  env.Set("CORVINA_HOME", "/srv/phones/desk");
  env.Set("XDG_CONFIG_HOME", "/elsewhere");
  PhonePaths p = ResolvePhonePaths();
  EXPECT_EQ(p.registryFile, "/srv/phones/desk/registry.db");
  EXPECT_EQ(p.documentsFolder, "/srv/phones/desk/Documents");
  EXPECT_EQ(p.DataFolder(), "/srv/phones/desk/Documents/Corvina");
  EXPECT_EQ(p.runtimeFolder, "/srv/phones/desk/run");
}

TEST(PhonePaths, WithoutAHomeTheUsersXdgFoldersAreUsed) {
  corvina::testing::TempFolder folder;
  const std::string config = folder.Sub("config");
  std::filesystem::create_directories(config);
  std::ofstream(config + "/user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                            << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                            << "XDG_DOCUMENTS_DIR=\"$HOME/Papiers\"\n";
  ScopedEnv env;
  env.Set("CORVINA_HOME", nullptr);
  env.Set("HOME", "/home/zoe");
  env.Set("XDG_CONFIG_HOME", config.c_str());
  env.Set("XDG_RUNTIME_DIR", "/run/user/1000");
  PhonePaths p = ResolvePhonePaths();
  EXPECT_EQ(p.registryFile, config + "/corvina/registry.db");
  EXPECT_EQ(p.documentsFolder, "/home/zoe/Papiers");
  EXPECT_EQ(p.runtimeFolder, "/run/user/1000/corvina");
}

TEST(PhonePaths, TheFallbacksAreTheConfigFolderAndDocuments) {
  ScopedEnv env;
  env.Set("CORVINA_HOME", "");
  env.Set("HOME", "/home/zoe");
  env.Set("XDG_CONFIG_HOME", nullptr);
  env.Set("XDG_RUNTIME_DIR", nullptr);
  PhonePaths p = ResolvePhonePaths();
  EXPECT_EQ(p.registryFile, "/home/zoe/.config/corvina/registry.db");
  EXPECT_EQ(p.documentsFolder, "/home/zoe/Documents");
  EXPECT_EQ(p.runtimeFolder, "/home/zoe/.config/corvina/run");
}

TEST(PhonePaths, ADocumentsEntryPointingAtHomeItselfIsIgnored) {
  corvina::testing::TempFolder folder;
  std::ofstream(folder.Sub("user-dirs.dirs")) << "XDG_DOCUMENTS_DIR=\"$HOME/\"\n";
  ScopedEnv env;
  env.Set("CORVINA_HOME", nullptr);
  env.Set("HOME", "/home/zoe");
  env.Set("XDG_CONFIG_HOME", folder.Path().c_str());
  EXPECT_EQ(ResolvePhonePaths().documentsFolder, "/home/zoe/Documents");
}

TEST(TickReached, ComparesByDifferenceAcrossTheWrap) {
  EXPECT_TRUE(TickReached(1000, 1000));
  EXPECT_TRUE(TickReached(1001, 1000));
  EXPECT_FALSE(TickReached(999, 1000));
  // A deadline set just before the counter wraps is reached just after it.
  const std::uint32_t deadline = 0xFFFFFFF0u + 32;  // wraps to 16
  EXPECT_FALSE(TickReached(0xFFFFFFF0u, deadline));
  EXPECT_TRUE(TickReached(20, deadline));
  FakeTickClock clock(0xFFFFFFFFu);
  clock.Advance(2);
  EXPECT_EQ(clock.NowMs(), 1u);
}

}  // namespace
}  // namespace corvina::platform
