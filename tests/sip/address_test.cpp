#include <gtest/gtest.h>

#include <string>

#include "sip/name_addr.h"
#include "sip/param_list.h"
#include "sip/sip_uri.h"

namespace corvina::sip {
namespace {

TEST(NameAddr, BracketedUriWithUriAndHeaderParameters) {
  NameAddr na = ParseNameAddr("<sip:user1@h:5070;transport=udp>;tag=abc");
  EXPECT_EQ(na.displayName, "");
  EXPECT_EQ(na.uri, "sip:user1@h:5070;transport=udp");
  EXPECT_EQ(na.params.Find("tag"), "abc");
  EXPECT_FALSE(na.params.Has("transport"));

  SipUri uri = ParseUri(na.uri);
  EXPECT_EQ(uri.scheme, "sip");
  EXPECT_EQ(uri.user, "user1");
  EXPECT_EQ(uri.host, "h");
  EXPECT_EQ(uri.port, 5070);
  EXPECT_TRUE(uri.portGiven);
  EXPECT_EQ(uri.params.Find("transport"), "udp");
}

TEST(NameAddr, DisplayNameForms) {
  EXPECT_EQ(ParseNameAddr("  \"Alice Smith\"   <sip:a@x>").displayName, "Alice Smith");
  EXPECT_EQ(ParseNameAddr("Bob Jones   <sip:b@x>").displayName, "Bob Jones");
  // Escaped quote and backslash inside the quoted name.
  NameAddr escaped = ParseNameAddr(R"("say \"hi\" \\o/" <sip:c@x>;tag=1)");
  EXPECT_EQ(escaped.displayName, R"(say "hi" \o/)");
  EXPECT_EQ(escaped.uri, "sip:c@x");
  EXPECT_EQ(escaped.params.Find("tag"), "1");
  // A quoted name with a '<' inside does not open the address.
  EXPECT_EQ(ParseNameAddr("\"a<b\" <sip:d@x>").uri, "sip:d@x");
}

TEST(NameAddr, BareAddressesGetSchemeAndParameters) {
  NameAddr na = ParseNameAddr("alice@example.org ;tag=9 ; expires=60");
  EXPECT_EQ(na.uri, "sip:alice@example.org");
  EXPECT_EQ(na.params.Find("tag"), "9");
  EXPECT_EQ(na.params.Find("expires"), "60");
  EXPECT_EQ(ParseNameAddr("sips:bob@x").uri, "sips:bob@x");
  EXPECT_EQ(ParseNameAddr("<bob@x>").uri, "sip:bob@x");
}

TEST(NameAddr, ParametersAreDecodedEmptyNamesSkippedAndUnclosedFormsKept) {
  NameAddr na = ParseNameAddr("<sip:a@b>;;=x;note=a%20b%zz;flag");
  ASSERT_EQ(na.params.Size(), 2u);
  EXPECT_EQ(na.params.Find("note"), "a b%zz");
  EXPECT_TRUE(na.params.Has("flag"));
  EXPECT_EQ(na.params.Find("flag", "default"), "");
  EXPECT_EQ(na.params.Find("Note", "default"), "default");  // names are case-sensitive
  // Unclosed forms stay inside the text.
  EXPECT_EQ(ParseNameAddr("\"never closed <sip:a@b>").displayName, "never closed <sip:a@b>");
  EXPECT_EQ(ParseNameAddr("<sip:a@b;lr").uri, "sip:a@b;lr");
  EXPECT_EQ(ParseNameAddr("").uri, "sip:");
}

TEST(NameAddr, LongDisplayNameIsCutOnACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 200; ++i) name += "\xC3\xA9";  // 200 two-byte characters
  name += std::string(100, 'z');
  NameAddr na = ParseNameAddr("\"" + name + "\" <sip:a@b>");
  EXPECT_EQ(na.displayName, name.substr(0, 400 + 59));
  EXPECT_EQ(na.uri, "sip:a@b");
}

TEST(QuoteDisplayName, EscapesQuotesAndBackslashesDropsLineBreaksAndCannotBeInjected) {
  EXPECT_EQ(QuoteDisplayName("Plain"), "\"Plain\"");
  EXPECT_EQ(QuoteDisplayName(R"(a"b\c)"), R"("a\"b\\c")");
  EXPECT_EQ(QuoteDisplayName("evil\r\nVia: x"), "\"evilVia: x\"");
  // What is quoted parses back to the same name.
  std::string hostile = R"(x" <sip:attacker@evil>;tag=\)";
  NameAddr back = ParseNameAddr(QuoteDisplayName(hostile) + " <sip:real@host>");
  EXPECT_EQ(back.displayName, hostile);
  EXPECT_EQ(back.uri, "sip:real@host");

  // A formatted name-addr cannot have parameters or headers injected through the name.
  EXPECT_EQ(FormatNameAddr("", "sip:100@pbx"), "<sip:100@pbx>");
  EXPECT_EQ(FormatNameAddr("Desk 100", "sip:100@pbx"), "\"Desk 100\" <sip:100@pbx>");
  std::string text = FormatNameAddr("a\" <sip:x@evil>;tag=1\r\nVia: y", "sip:100@pbx");
  back = ParseNameAddr(text);
  EXPECT_EQ(back.uri, "sip:100@pbx");
  EXPECT_TRUE(back.params.Empty());
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(Uri, HostAloneGetsDefaults) {
  SipUri uri = ParseUri("proxy.example.net");
  EXPECT_EQ(uri.scheme, "sip");
  EXPECT_EQ(uri.host, "proxy.example.net");
  EXPECT_EQ(uri.port, 5060);
  EXPECT_FALSE(uri.portGiven);
  EXPECT_EQ(uri.user, "");
}

TEST(Uri, UserPasswordPortParametersAndHeaders) {
  SipUri uri = ParseUri("sips:alice:secret@10.0.0.1:5071;transport=udp;lr?Subject=hi%20there&Priority=urgent");
  EXPECT_EQ(uri.scheme, "sips");
  EXPECT_EQ(uri.user, "alice");
  EXPECT_EQ(uri.password, "secret");
  EXPECT_EQ(uri.host, "10.0.0.1");
  EXPECT_EQ(uri.port, 5071);
  EXPECT_TRUE(uri.portGiven);
  EXPECT_EQ(uri.params.Find("transport"), "udp");
  EXPECT_TRUE(uri.params.Has("lr"));
  EXPECT_EQ(uri.headers.Find("Subject"), "hi there");
  EXPECT_EQ(uri.headers.Find("Priority"), "urgent");
}

TEST(Uri, SchemeRules) {
  EXPECT_EQ(ParseUri("bob@h").scheme, "sip");
  EXPECT_EQ(ParseUri("bob@h").user, "bob");
  SipUri tel = ParseUri("tel:+15551234;phone-context=x");
  EXPECT_EQ(tel.scheme, "tel");
  EXPECT_EQ(tel.host, "+15551234");
  EXPECT_EQ(tel.params.Find("phone-context"), "x");
  // A colon past the first five characters is the port colon, not a scheme.
  SipUri hostPort = ParseUri("192.168.1.1:5080");
  EXPECT_EQ(hostPort.scheme, "sip");
  EXPECT_EQ(hostPort.host, "192.168.1.1");
  EXPECT_EQ(hostPort.port, 5080);
  // Headers without parameters.
  SipUri q = ParseUri("sip:h?a=b");
  EXPECT_EQ(q.host, "h");
  EXPECT_TRUE(q.params.Empty());
  EXPECT_EQ(q.headers.Find("a"), "b");
  // A bracketed IPv6 host keeps its colons.
  SipUri v6 = ParseUri("sip:u@[2001:db8::1]:5062");
  EXPECT_EQ(v6.host, "[2001:db8::1]");
  EXPECT_EQ(v6.port, 5062);
}

TEST(Uri, PortsOutsideTheRangeAreNoPort) {
  for (const char* text : {"sip:h:0", "sip:h:65536", "sip:h:99999999999", "sip:h:12ab", "sip:h:", "sip:h:-1"}) {
    SipUri uri = ParseUri(text);
    EXPECT_FALSE(uri.portGiven) << text;
    EXPECT_EQ(uri.port, 5060) << text;
    EXPECT_EQ(uri.host, "h") << text;
  }
  EXPECT_EQ(ParseUri("sip:h:65535").port, 65535);
  EXPECT_EQ(ParseUri("sip:h:1").port, 1);
}

TEST(UriFormat, RoundTripsAndEncodesParameters) {
  EXPECT_EQ(FormatUri(ParseUri("sip:user1@h:5070;transport=udp")), "sip:user1@h:5070;transport=udp");
  EXPECT_EQ(FormatUri(ParseUri("sip:a:pw@h;lr")), "sip:a:pw@h;lr");
  EXPECT_EQ(FormatUri(ParseUri("h")), "sip:h");
  SipUri uri = ParseUri("sip:b@h");
  uri.params.Add("maddr", "1.2.3.4:5");
  uri.params.Add("x y", "\xC3\xA9~!_-.");
  uri.headers.Add("Replaces", "id@host;to-tag=1");
  EXPECT_EQ(FormatUri(uri), "sip:b@h;maddr=1.2.3.4%3A5;x%20y=%C3%A9~!_-.?Replaces=id%40host%3Bto-tag%3D1");
  // And back: the decoded values return.
  SipUri back = ParseUri(FormatUri(uri));
  EXPECT_EQ(back.params.Find("x y"), "\xC3\xA9~!_-.");
  EXPECT_EQ(back.headers.Find("Replaces"), "id@host;to-tag=1");
}

TEST(PercentCoding, DecodeLeavesBrokenEscapesLiteral) {
  EXPECT_EQ(PercentDecode("a%41%4a%4A"), "aAJJ");
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("%G1%%41"), "%G1%A");
  EXPECT_EQ(PercentDecode("%00").size(), 1u);
  EXPECT_EQ(PercentEncode("Windows Mobile Device"), "Windows%20Mobile%20Device");
  EXPECT_EQ(PercentEncode("a\xFF"), "a%FF");
}

}  // namespace
}  // namespace corvina::sip
