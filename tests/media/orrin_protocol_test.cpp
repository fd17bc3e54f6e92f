// The Orrin protocol's pieces: the host list and the greeting and name cut on character
// boundaries. (The server's reader is tested through the server and fuzz_orrin_stream.)
#include <gtest/gtest.h>

#include "media/orrin_protocol.h"

namespace corvina::media {
namespace {

TEST(OrrinProtocol, HostListEntriesAndPorts) {
  EXPECT_EQ(SplitOrrinHosts(" a:4081\tb\r\n c "), (std::vector<std::string_view>{"a:4081", "b", "c"}));
  std::string many;
  for (int i = 0; i < 40; ++i) many += "h" + std::to_string(i) + " ";
  EXPECT_EQ(SplitOrrinHosts(many).size(), kOrrinMaxHosts);
  struct Case {
    std::string_view text;
    std::string host;  // empty: refused
    std::uint16_t port;
  };
  for (const Case& c : std::vector<Case>{{"a:4081", "a", 4081}, {"b", "b", 4080}, {"b:65535", "b", 65535},
                                         {"a:0", "", 0}, {"a:65536", "", 0}, {"a:", "", 0}, {"a:8x", "", 0},
                                         {":4080", "", 0}, {"a:99999999999", "", 0}}) {
    std::optional<OrrinHostPort> hp = ParseOrrinHost(c.text);
    EXPECT_EQ(hp ? hp->host : "", c.host) << c.text;
    if (hp) EXPECT_EQ(hp->port, c.port) << c.text;
  }
  OrrinRoundRobin rr;  // "a:4081 b": the first link tries b first, the next one a
  EXPECT_EQ(rr.Next(2), 1u);
  EXPECT_EQ(rr.Next(2), 0u);
}

TEST(OrrinProtocol, CodeAndNameAreCutOnCharacterBoundaries) {
  const std::string e = "\xc3\xa9";  // two bytes
  struct Case {
    std::string code;
    std::size_t kept;
  };
  for (const Case& c : std::vector<Case>{{"", 0}, {std::string(63, 'x'), 63}, {std::string(70, 'x'), 63},
                                         {std::string(62, 'x') + e, 62}, {std::string(61, 'x') + e, 63}}) {
    const std::string g = MakeOrrinGreeting(c.code);
    ASSERT_EQ(g.size(), kOrrinGreetingBytes);
    EXPECT_EQ(g.substr(0, 2), std::string("\x1b\0", 2));
    EXPECT_EQ(g.substr(2, c.kept), c.code.substr(0, c.kept));
    EXPECT_EQ(g.substr(2 + c.kept), std::string(kOrrinGreetingBytes - 2 - c.kept, '\0'));
  }
  const std::string name = std::string(254, 'n') + e;
  EXPECT_EQ(MakeOrrinNameFrame(name), "\xff\xfe" + std::string(254, 'n'));
  EXPECT_EQ(MakeOrrinNameFrame("ab"), "\xff\x02" "ab");
}

}  // namespace
}  // namespace corvina::media
