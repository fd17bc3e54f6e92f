// The host list's ports, and the greeting's code and the name cut on character boundaries.
#include <gtest/gtest.h>

#include "media/orrin_protocol.h"

namespace corvina::media {
namespace {

TEST(OrrinProtocol, HostEntriesAndPorts) {
  EXPECT_EQ(SplitOrrinHosts(" a:4081\tb\r\n c "), (std::vector<std::string_view>{"a:4081", "b", "c"}));
  for (auto [text, expected] : std::vector<std::pair<std::string_view, std::string>>{
           {"a:4081", "a:4081"}, {"b", "b:4080"}, {"b:65535", "b:65535"}, {"a:0", ""}, {"a:65536", ""},
           {"a:", ""}, {"a:8x", ""}, {":4080", ""}, {"a:99999999999", ""}}) {
    std::optional<OrrinHostPort> hp = ParseOrrinHost(text);
    EXPECT_EQ(hp ? hp->host + ":" + std::to_string(hp->port) : "", expected) << text;
  }
}

TEST(OrrinProtocol, CodeAndNameAreCutOnCharacterBoundaries) {
  const std::string e = "\xc3\xa9";  // two bytes
  for (auto [code, kept] : std::vector<std::pair<std::string, std::size_t>>{
           {std::string(70, 'x'), 63}, {std::string(62, 'x') + e, 62}, {std::string(61, 'x') + e, 63}}) {
    const std::string g = MakeOrrinGreeting(code);
    EXPECT_EQ(g, std::string("\x1b\0", 2) + code.substr(0, kept) + std::string(64 - kept, '\0'));
  }
  EXPECT_EQ(MakeOrrinNameFrame(std::string(254, 'n') + e), "\xff\xfe" + std::string(254, 'n'));
}

}  // namespace
}  // namespace corvina::media
