// A test with the phone under test started before each test, on the settings Settings() gives,
// in a temporary folder of its own, and quit after it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/phone_under_test.h"
#include "tests/support/temp_folder.h"

namespace corvina::testing {

class PhoneFixture : public ::testing::Test {
 protected:
  explicit PhoneFixture(const std::string& folderTag) : folder_(folderTag) {}
  virtual std::vector<std::vector<std::string>> Settings() const = 0;

  void SetUp() override {
    phone_ = std::make_unique<PhoneUnderTest>(folder_.Sub("phone"), Settings());
    phone_->Start();
    sipPort_ = phone_->WaitForSipPort(10000);
    ASSERT_NE(sipPort_, 0);
  }
  void TearDown() override {
    if (phone_) {
      EXPECT_EQ(phone_->Quit(), 0);
    }
  }

  TempFolder folder_;
  std::unique_ptr<PhoneUnderTest> phone_;
  std::uint16_t sipPort_ = 0;
};

}  // namespace corvina::testing
