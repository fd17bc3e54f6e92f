// A fresh folder for one test, named after the running test and the process, removed again
// when the test ends; tests run in parallel never share one.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace corvina::testing {

class TempFolder {
 public:
  explicit TempFolder(const std::string& tag = "t") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "corvina-" + tag + "-" + std::to_string(getpid());
    if (info != nullptr) name += std::string("-") + info->test_suite_name() + "." + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // A path inside the folder (not created).
  std::string Sub(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace corvina::testing
