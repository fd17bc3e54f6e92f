// The installer extension as the system tools see it: its exported symbols and its links.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>

namespace {

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
