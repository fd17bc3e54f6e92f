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

}  // namespace
