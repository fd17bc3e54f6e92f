// Loads the installer extension the way the installer does and calls every hook.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>

namespace {

class SetupLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(CORVINA_SETUP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) {
      EXPECT_EQ(dlclose(handle_), 0);
    }
  }
  void* handle_ = nullptr;
};

using InstallInit = int (*)(void*, int, int, const wchar_t*);
using InstallExit = int (*)(void*, const wchar_t*, unsigned, unsigned, unsigned, unsigned, unsigned);
using UninstallInit = int (*)(void*, const wchar_t*);
using UninstallExit = int (*)(void*);

TEST_F(SetupLibrary, EveryHookAnswersZeroForAnyArguments) {
  auto installInit = reinterpret_cast<InstallInit>(dlsym(handle_, "Install_Init"));
  auto installExit = reinterpret_cast<InstallExit>(dlsym(handle_, "Install_Exit"));
  auto uninstallInit = reinterpret_cast<UninstallInit>(dlsym(handle_, "Uninstall_Init"));
  auto uninstallExit = reinterpret_cast<UninstallExit>(dlsym(handle_, "Uninstall_Exit"));
  ASSERT_NE(installInit, nullptr);
  ASSERT_NE(installExit, nullptr);
  ASSERT_NE(uninstallInit, nullptr);
  ASSERT_NE(uninstallExit, nullptr);

  int window = 0;
  EXPECT_EQ(installInit(nullptr, 1, 0, nullptr), 0);
  EXPECT_EQ(installInit(&window, 0, 1, L"/opt/corvina"), 0);
  EXPECT_EQ(installExit(nullptr, nullptr, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(installExit(&window, L"/opt/corvina", 3, 2, 1, 7, 9), 0);
  EXPECT_EQ(uninstallInit(nullptr, nullptr), 0);
  EXPECT_EQ(uninstallInit(&window, L"/opt/corvina"), 0);
  EXPECT_EQ(uninstallExit(nullptr), 0);
  EXPECT_EQ(uninstallExit(&window), 0);
}

TEST_F(SetupLibrary, AllFourHooksAreOneFunction) {
  void* first = dlsym(handle_, "Install_Init");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(dlsym(handle_, "Install_Exit"), first);
  EXPECT_EQ(dlsym(handle_, "Uninstall_Init"), first);
  EXPECT_EQ(dlsym(handle_, "Uninstall_Exit"), first);
}

TEST(SetupLibraryExports, ExportsExactlyTheFourHooks) {
  std::string cmd = std::string("nm -D --defined-only ") + CORVINA_SETUP_LIBRARY;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  std::array<char, 512> line{};
  while (fgets(line.data(), static_cast<int>(line.size()), p) != nullptr) {
    char type = 0;
    std::array<char, 256> name{};
    if (sscanf(line.data(), "%*s %c %255s", &type, name.data()) == 2 && (type == 'T' || type == 'W')) {
      names.insert(name.data());
    }
  }
  ASSERT_EQ(pclose(p), 0);
  EXPECT_EQ(names, (std::set<std::string>{"Install_Init", "Install_Exit", "Uninstall_Init", "Uninstall_Exit"}));
}

TEST(SetupLibraryLinks, DependsOnNothingOfCorvina) {
  std::string cmd = std::string("ldd ") + CORVINA_SETUP_LIBRARY;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::array<char, 512> line{};
  std::string all;
  while (fgets(line.data(), static_cast<int>(line.size()), p) != nullptr) all += line.data();
  pclose(p);
  EXPECT_FALSE(all.empty());
  EXPECT_EQ(all.find("corvina"), std::string::npos) << all;
}

}  // namespace
