#include "platform/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace corvina::platform {
namespace {

TEST(Base64, Rfc4648TestVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},        {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), std::optional<std::string>(plain));
  }
}

TEST(Base64, SmtpLoginPromptsAndBinaryRoundTrip) {
  EXPECT_EQ(Base64Decode("VXNlcm5hbWU6"), std::optional<std::string>("Username:"));
  EXPECT_EQ(Base64Decode("UGFzc3dvcmQ6"), std::optional<std::string>("Password:"));
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  std::string encoded = Base64Encode(all);
  EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_EQ(Base64Decode(encoded), std::optional<std::string>(all));
}

TEST(Base64, DecodeSkipsLineBreaksAndRejectsMalformedText) {
  EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy\r\n"), std::optional<std::string>("foobar"));
  EXPECT_EQ(Base64Decode(" Zm 8= "), std::optional<std::string>("fo"));
  EXPECT_FALSE(Base64Decode("Zm9").has_value());      // not a whole group
  EXPECT_FALSE(Base64Decode("Zm9v!").has_value());    // foreign character
  EXPECT_FALSE(Base64Decode("Z===").has_value());     // too much padding
  EXPECT_FALSE(Base64Decode("Zg==Zg==").has_value()); // data after padding
  EXPECT_FALSE(Base64Decode("Zm=v").has_value());     // padding inside a group
}

}  // namespace
}  // namespace corvina::platform
