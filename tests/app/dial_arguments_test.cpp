// The dialling arguments: --dial/--line, sip: and tel: links, and refusals (a sips: link, a
// line other than 1 or 2, a missing value).
#include <gtest/gtest.h>

#include "app/dial_arguments.h"

namespace corvina::app {
namespace {

TEST(DialArguments, LinksAndOptionsBecomeOneRequestAndBadOnesAreRefused) {
  const struct {
    std::vector<std::string> args;
    bool hasRequest;
    platform::DialRequest request;
    std::vector<std::string> rest;
    bool refused;
  } cases[] = {
      {{"--headless"}, false, {}, {"--headless"}, false},
      {{"--dial", "200", "--line", "2"}, true, {"200", 2}, {}, false},
      {{"--headless", "--dial", " 112 "}, true, {" 112 ", 0}, {"--headless"}, false},
      {{"sip:alice@127.0.0.1"}, true, {"sip:alice@127.0.0.1", 0}, {}, false},
      {{"TEL:+4930123"}, true, {"TEL:+4930123", 0}, {}, false},
      {{"--line", "1"}, true, {"", 1}, {}, false},
      {{"sips:alice@127.0.0.1"}, false, {}, {}, true},
      {{"--dial", "200", "--line", "3"}, false, {}, {}, true},
      {{"--dial", "200", "--line", "0"}, false, {}, {}, true},
      {{"--dial"}, false, {}, {}, true},
      {{"--dial", "200\n--line"}, false, {}, {}, true},
  };
  for (const auto& c : cases) {
    const DialArguments parsed = ParseDialArguments(c.args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(!parsed.error.empty(), c.refused) << what << ": " << parsed.error;
    if (c.refused) continue;
    ASSERT_EQ(parsed.request.has_value(), c.hasRequest) << what;
    if (c.hasRequest) {
      EXPECT_EQ(*parsed.request, c.request) << what;
    }
    EXPECT_EQ(parsed.rest, c.rest) << what;
  }
}

TEST(DialArguments, ALongNumberIsCutTo259Characters) {
  const DialArguments parsed = ParseDialArguments({"--dial", std::string(300, '5')});
  ASSERT_TRUE(parsed.request.has_value());
  EXPECT_EQ(parsed.request->text.size(), 259u);
}

}  // namespace
}  // namespace corvina::app
