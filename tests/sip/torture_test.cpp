// Odd-but-valid and broken datagrams from tests/sip/data/torture. Every file is held in a
// buffer of exactly its size, so a read past the end shows up under AddressSanitizer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sip/digest.h"
#include "sip/name_addr.h"
#include "sip/response_composer.h"
#include "sip/sip_parser.h"
#include "sip/sip_uri.h"

namespace corvina::sip {
namespace {

class Datagram {
 public:
  explicit Datagram(const std::string& name) {
    const char* dir = std::getenv("CORVINA_TEST_DATA");
    std::filesystem::path path = std::filesystem::path(dir ? dir : "tests/sip/data") / "torture" / name;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_ = bytes.size();
    data_ = std::make_unique<char[]>(size_ == 0 ? 1 : size_);
    std::copy(bytes.begin(), bytes.end(), data_.get());
    found_ = in.good() || in.eof();
  }
  std::string_view View() const { return {data_.get(), size_}; }
  bool Found() const { return found_ && size_ > 0; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  bool found_ = false;
};

struct Parsed {
  bool ok = false;
  std::size_t position = 0;
  SipMessage message;
};

// Parses and then touches every lookup the program makes, as the engine and call layer would.
Parsed ParseAndExercise(const std::string& name) {
  Datagram d(name);
  EXPECT_TRUE(d.Found()) << name;
  Parsed p;
  p.ok = ParseMessage(d.View(), p.position, p.message);
  EXPECT_LE(p.position, d.View().size());
  for (const SipHeader& h : p.message.headers) {
    NameAddr na = ParseNameAddr(h.value);
    SipUri uri = ParseUri(na.uri);
    // Formatting is stable: what the program writes reads back to the same text.
    const std::string formatted = FormatUri(uri);
    EXPECT_EQ(FormatUri(ParseUri(formatted)), formatted) << name << ": " << h.name;
    // Only the challenge headers hold digest challenges.
    DigestChallenge challenge;
    const bool isChallenge = h.name == "Proxy-Authenticate" || h.name == "WWW-Authenticate";
    EXPECT_EQ(ParseDigestChallenge(h.value, challenge), isChallenge) << name << ": " << h.name;
  }
  if (p.ok && p.message.IsRequest()) {
    SipMessage back;
    EXPECT_TRUE(ParseMessage(ComposeResponse(p.message, 400, "Bad Request", {}), back)) << name;
  }
  return p;
}

TEST(TortureValid, WideWhitespaceAndFolding) {
  Parsed p = ParseAndExercise("valid_wide_whitespace.sip");
  ASSERT_TRUE(p.ok);
  const SipMessage& m = p.message;
  EXPECT_EQ(m.method, "INVITE");
  EXPECT_EQ(m.requestUri, "sip:vivekg@chair-dnrc.example.com;unknownparam");
  NameAddr to = ParseNameAddr(m.FindHeader(kTo));
  EXPECT_EQ(to.uri, "sip:vivekg@chair-dnrc.example.com");
  EXPECT_EQ(to.params.Find("tag"), "1918181833n");
  NameAddr from = ParseNameAddr(m.FindHeader(kFrom));
  EXPECT_EQ(from.displayName, "J Rosenberg \\\"");
  EXPECT_EQ(from.uri, "sip:jdrosen@example.com");
  EXPECT_EQ(from.params.Find("tag"), "98asjd8");
  EXPECT_EQ(m.FindHeader(kCSeq), "0009 INVITE");
  EXPECT_EQ(m.FindHeader("Max-Forwards"), "0068");
  auto vias = m.HeaderValues(kVia);
  ASSERT_EQ(vias.size(), 2u);
  EXPECT_EQ(vias[0], "SIP  /   2.0 /UDP 192.0.2.2;branch=390skdjuw");
  EXPECT_EQ(m.FindHeader("NewFangledHeader"), "newfangled value continued newfangled value");
  EXPECT_EQ(m.FindHeader("Route"), "<sip:services.example.com;lr;unknownwith=value;unknown-no-value>");
  EXPECT_EQ(m.FindHeader("s", "absent"), "");
  NameAddr contact = ParseNameAddr(m.FindHeader(kContact));
  EXPECT_EQ(contact.displayName, "Quoted string \"\"");
  EXPECT_EQ(contact.params.Find("newparam"), "newvalue");
  EXPECT_TRUE(contact.params.Has("secondparam"));
  EXPECT_EQ(contact.params.Find("q"), "0.33");
  ASSERT_EQ(m.bodies.size(), 1u);
  EXPECT_EQ(m.bodies[0].content.size(), 150u);
  EXPECT_EQ(m.bodies[0].content.substr(0, 5), "v=0\r\n");
}

TEST(TortureValid, EscapedUrisAreDecodedOnce) {
  Parsed p = ParseAndExercise("valid_escaped_uri.sip");
  ASSERT_TRUE(p.ok);
  SipUri request = ParseUri(p.message.requestUri);
  EXPECT_EQ(request.user, "sips%3Auser%40example.com");
  EXPECT_EQ(request.host, "example.net");
  SipUri to = ParseUri(ParseNameAddr(p.message.FindHeader(kTo)).uri);
  EXPECT_EQ(to.user, "%61lice");
  EXPECT_EQ(to.params.Find("transport"), "udp");
  EXPECT_EQ(to.headers.Find("Subject"), "hello world");
  SipUri contact = ParseUri(ParseNameAddr(p.message.FindHeader(kContact)).uri);
  EXPECT_TRUE(contact.params.Has("lr"));
  EXPECT_EQ(contact.params.Find("name"), "value%41%zz");
  EXPECT_EQ(FormatUri(contact), "sip:cal%6Cer@host5.example.net;lr;name=value%2541%25zz");
}

TEST(TortureValid, UnknownSchemesAreKept) {
  Parsed p = ParseAndExercise("valid_unknown_scheme.sip");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.message.requestUri, "nobarr:foo.example.com");
  EXPECT_EQ(ParseNameAddr(p.message.FindHeader(kTo)).uri, "urn:service:sos");
  NameAddr from = ParseNameAddr(p.message.FindHeader(kFrom));
  EXPECT_EQ(from.uri, "http://www.example.com");
  EXPECT_EQ(ParseUri(from.uri).scheme, "http");
  EXPECT_EQ(p.message.FindHeader(kContentLength), "0");
}

TEST(TortureValid, ManyHeadersStayInOrder) {
  Parsed p = ParseAndExercise("valid_many_headers.sip");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.message.headers.size(), 115u);
  auto vias = p.message.HeaderValues(kVia);
  ASSERT_EQ(vias.size(), 70u);
  EXPECT_EQ(vias.front(), "SIP/2.0/UDP 198.51.100.0;branch=z9hG4bK0000");
  EXPECT_EQ(vias.back(), "SIP/2.0/UDP 198.51.100.69;branch=z9hG4bK0069");
  EXPECT_EQ(p.message.FindHeader("x-extra-39"), "value 39");
  EXPECT_EQ(p.message.FindHeader(kCSeq), "2 REGISTER");
}

TEST(TortureValid, HugeValuesSurviveAndAnswerTheChallenge) {
  Parsed p = ParseAndExercise("valid_huge_values.sip");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.message.statusCode, 407);
  EXPECT_EQ(p.message.reason, "Proxy Authentication Required");
  EXPECT_EQ(p.message.FindHeader(kVia),
            "SIP/2.0/UDP 192.168.1.20:5070;rport=5070;received=203.0.113.7;branch=z9hG4bK" + std::string(900, 'b'));
  EXPECT_EQ(p.message.FindHeader(kRecordRoute), "<sip:proxy.example;lr;did=" + std::string(600, 'd') + ">");
  auto answer = AnswerChallenge(p.message.FindHeader(kProxyAuthenticate), "INVITE", "sip:200@pbx.example", "100", "pw");
  ASSERT_TRUE(answer.has_value());
  EXPECT_NE(answer->authorization.find("nonce=\"" + std::string(1800, 'n') + "\""), std::string::npos);
  EXPECT_NE(answer->authorization.find("opaque=\"o\""), std::string::npos);
}

TEST(TortureValid, CompactNamesAndMultipart) {
  Parsed p = ParseAndExercise("valid_compact_multipart.sip");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.message.FindHeader(kCallId), "compact@h");
  EXPECT_EQ(ParseNameAddr(p.message.FindHeader(kFrom)).displayName, "Caf\xC3\xA9");
  ASSERT_EQ(p.message.bodies.size(), 2u);
  EXPECT_EQ(p.message.bodies[0].contentType, "application/sdp");
  EXPECT_EQ(p.message.bodies[0].content.substr(0, 4), "v=0\r");
  EXPECT_EQ(p.message.bodies[0].content.back(), '\n');
  EXPECT_EQ(p.message.bodies[1].contentType, "application/isup");
  EXPECT_EQ(p.message.bodies[1].content, "\x01\x02isup");
}

TEST(TortureValid, Utf8BodyWithLineFeedsOnly) {
  Parsed p = ParseAndExercise("valid_utf8_body.sip");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.message.method, "MESSAGE");
  EXPECT_EQ(ParseNameAddr(p.message.FindHeader(kTo)).displayName, "J\xC3\xBCrgen \xC3\x86");
  std::string body = "v=0\r\ns=Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x93\x9E\r\n";
  EXPECT_EQ(p.message.FindBody("text/plain"), body);
}

TEST(TortureValid, ReasonKeepsItsSpacing) {
  Parsed p = ParseAndExercise("valid_reason_spaces.sip");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.message.statusCode, 499);
  EXPECT_EQ(p.message.reason, "Some  Odd   Reason  ");
}

TEST(TortureBroken, StartLinesThatCannotBeUsedAreRejected) {
  for (const char* name : {"bad_missing_uri.sip", "bad_missing_version.sip", "bad_missing_everything.sip",
                           "bad_status_range.sip", "bad_nul_in_start_line.sip"}) {
    EXPECT_FALSE(ParseAndExercise(name).ok) << name;
  }
}

TEST(TortureBroken, ContentLengthsThatLie) {
  Parsed text = ParseAndExercise("bad_content_length_text.sip");
  ASSERT_TRUE(text.ok);
  EXPECT_TRUE(text.message.bodies.empty());
  Parsed negative = ParseAndExercise("bad_content_length_negative.sip");
  ASSERT_TRUE(negative.ok);
  EXPECT_TRUE(negative.message.bodies.empty());
  Parsed huge = ParseAndExercise("bad_content_length_huge.sip");
  ASSERT_TRUE(huge.ok);
  EXPECT_EQ(huge.message.FindBody("application/sdp"), "v=0\r\n");
  Parsed shortLength = ParseAndExercise("bad_content_length_short.sip");
  ASSERT_TRUE(shortLength.ok);
  EXPECT_EQ(shortLength.message.FindBody("application/sdp"), "v=0");
}

TEST(TortureBroken, NulAndControlBytesDoNoHarm) {
  Parsed nul = ParseAndExercise("bad_nul_in_headers.sip");
  ASSERT_TRUE(nul.ok);
  EXPECT_EQ(nul.message.FindHeader(kCallId), std::string_view("n2\0hidden", 9));
  EXPECT_EQ(nul.message.FindHeader(kCSeq), "1 INVITE");
  // A control byte where a header name should start ends the header section.
  Parsed control = ParseAndExercise("bad_control_bytes.sip");
  ASSERT_TRUE(control.ok);
  EXPECT_TRUE(control.message.headers.empty());
}

TEST(TortureBroken, TruncatedDatagrams) {
  Parsed header = ParseAndExercise("bad_truncated_header.sip");
  ASSERT_TRUE(header.ok);
  EXPECT_EQ(header.message.FindHeader(kVia), "SIP/2.0/UDP 10.0.0.1;bra");
  Parsed body = ParseAndExercise("bad_truncated_body.sip");
  ASSERT_TRUE(body.ok);
  ASSERT_EQ(body.message.bodies.size(), 1u);
  EXPECT_EQ(body.message.bodies[0].content, "v=0\r\n--z");
}

TEST(TortureBroken, FullSizeDatagrams) {
  Parsed value = ParseAndExercise("bad_header_4095.sip");
  ASSERT_TRUE(value.ok);
  EXPECT_EQ(value.message.FindHeader("X-Long").size(), 4095u - 38u - 4u);
  Parsed name = ParseAndExercise("bad_name_4095.sip");
  ASSERT_TRUE(name.ok);
  ASSERT_EQ(name.message.headers.size(), 2u);
  EXPECT_EQ(name.message.headers[0].name, std::string(31, 'Z'));
  EXPECT_EQ(name.message.headers[0].value, "v");
  EXPECT_EQ(name.message.headers[1].name, std::string(31, 'w'));
}

TEST(TortureBroken, UnclosedQuotesAndBracketsStayInsideTheirHeader) {
  Parsed p = ParseAndExercise("bad_unclosed_quotes.sip");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.message.statusCode, 200);
  EXPECT_EQ(p.message.headers.size(), 4u);
  EXPECT_EQ(p.message.FindHeader(kCallId), "q");
  EXPECT_EQ(p.message.FindHeader(kTo), "<sip:a@b;tag=2");
}

TEST(TortureBroken, MultipartWithoutDelimitersHasNoBodies) {
  Parsed multipart = ParseAndExercise("bad_multipart_no_delimiters.sip");
  ASSERT_TRUE(multipart.ok);
  EXPECT_TRUE(multipart.message.bodies.empty());
}

// Every file of the folder has its outcome written down here (a new file must be added), and
// each parses or is refused as listed; the tests above check the fields of those that parse.
TEST(TortureAll, EveryFileHasItsExpectedOutcome) {
  const std::map<std::string, bool> parses = {
      {"bad_content_length_huge.sip", true},      {"bad_content_length_negative.sip", true},
      {"bad_content_length_short.sip", true},     {"bad_content_length_text.sip", true},
      {"bad_control_bytes.sip", true},            {"bad_header_4095.sip", true},
      {"bad_missing_everything.sip", false},      {"bad_missing_uri.sip", false},
      {"bad_missing_version.sip", false},         {"bad_multipart_no_delimiters.sip", true},
      {"bad_name_4095.sip", true},                {"bad_nul_in_headers.sip", true},
      {"bad_nul_in_start_line.sip", false},       {"bad_random_bytes.sip", false},
      {"bad_status_range.sip", false},            {"bad_truncated_body.sip", true},
      {"bad_truncated_header.sip", true},         {"bad_unclosed_quotes.sip", true},
      {"valid_compact_multipart.sip", true},      {"valid_escaped_uri.sip", true},
      {"valid_huge_values.sip", true},            {"valid_many_headers.sip", true},
      {"valid_reason_spaces.sip", true},          {"valid_unknown_scheme.sip", true},
      {"valid_utf8_body.sip", true},              {"valid_wide_whitespace.sip", true},
  };
  const char* dir = std::getenv("CORVINA_TEST_DATA");
  ASSERT_NE(dir, nullptr);
  std::set<std::string> seen;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(dir) / "torture")) {
    const std::string name = entry.path().filename().string();
    seen.insert(name);
    auto expected = parses.find(name);
    ASSERT_NE(expected, parses.end()) << name << " has no expected outcome";
    EXPECT_EQ(ParseAndExercise(name).ok, expected->second) << name;
  }
  EXPECT_EQ(seen.size(), parses.size()) << "a listed file is missing from the folder";
}

}  // namespace
}  // namespace corvina::sip
