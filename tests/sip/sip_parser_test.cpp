#include "sip/sip_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace corvina::sip {
namespace {

SipMessage Parse(std::string_view text, bool expectOk = true) {
  SipMessage m;
  EXPECT_EQ(ParseMessage(text, m), expectOk) << text;
  return m;
}

TEST(StartLine, RequestLineGivesMethodAndUriStatusLineCodeAndReason) {
  SipMessage m = Parse("OPTIONS sip:bob@example.org SIP/2.0\r\nCall-ID: x\r\n\r\n");
  EXPECT_TRUE(m.IsRequest());
  EXPECT_EQ(m.method, "OPTIONS");
  EXPECT_EQ(m.requestUri, "sip:bob@example.org");
  EXPECT_EQ(m.statusCode, kRequestStatus);
  EXPECT_EQ(m.reason, "");

  SipMessage r = Parse("SIP/2.0 486 Busy Here\r\n\r\n");  // a status line keeps the reason's inner spaces
  EXPECT_TRUE(r.IsResponse());
  EXPECT_EQ(r.statusCode, 486);
  EXPECT_EQ(r.reason, "Busy Here");
  EXPECT_EQ(r.method, "");
  EXPECT_EQ(r.requestUri, "");
}

TEST(StartLine, UnusableLinesAndStatusCodesOutsideTheSipRangeFail) {
  // "SIPX" is no version prefix: taken as a request whose third part is not a version.
  for (const char* text : {"", "\r\n\r\n", "INVITE\r\n\r\n", "INVITE sip:x\r\n\r\n", "INVITE sip:x HTTP/1.1\r\n\r\n",
                           "SIP/2.0\r\n", "SIPX 200 OK\r\n\r\n", "SIP/2.0 99 Low\r\n\r\n", "SIP/2.0 700 High\r\n\r\n",
                           "SIP/2.0 abc Word\r\n\r\n", "SIP/2.0 65536 Wrap\r\n\r\n"}) {
    Parse(text, false);
  }
  // The version is matched ignoring case; 100 and 699 are the range's ends.
  EXPECT_EQ(Parse("sip/2.0 200 OK\r\n\r\n").statusCode, 200);
  EXPECT_EQ(Parse("BYE sip:x sip/2.0\r\n\r\n").method, "BYE");
  EXPECT_EQ(Parse("SIP/2.0 100 Trying\r\n\r\n").statusCode, 100);
  EXPECT_EQ(Parse("SIP/2.0 699 Top\r\n\r\n").statusCode, 699);
}

TEST(StartLine, LeadingBlankLinesWideSpacingAndEveryLineEndForm) {
  SipMessage m = Parse("\r\n\r\nINVITE sip:a@b SIP/2.0\r\nTo: <sip:a@b>\r\n\r\n");
  EXPECT_EQ(m.method, "INVITE");
  EXPECT_EQ(m.FindHeader("To"), "<sip:a@b>");
  m = Parse("REGISTER    sip:reg.example    SIP/2.0\nVia: a\rTo: b\n\rFrom: c\r\n\r\n");
  EXPECT_EQ(m.method, "REGISTER");
  EXPECT_EQ(m.requestUri, "sip:reg.example");
  ASSERT_EQ(m.headers.size(), 3u);
  EXPECT_EQ(m.headers[1].value, "b");
  EXPECT_EQ(m.headers[2].value, "c");
}

TEST(StartLine, OverlongFieldsAreCutOnCharacterBoundaries) {
  std::string method(40, 'M');
  std::string uri = "sip:" + std::string(200, 'u');
  SipMessage m = Parse(method + " " + uri + " SIP/2.0\r\nTo: x\r\n\r\n");
  EXPECT_EQ(m.method, std::string(31, 'M'));
  EXPECT_EQ(m.requestUri.size(), 127u);
  EXPECT_EQ(m.FindHeader("To"), "x");  // the rest of the line did not spill into the headers

  // 126 ASCII characters and a euro sign of three bytes: the sign would be unit 127, it fits;
  // one more character in front pushes it out whole.
  std::string reason = std::string(126, 'r') + "\xE2\x82\xAC";
  EXPECT_EQ(Parse("SIP/2.0 200 " + reason + "\r\n\r\n").reason, reason);
  SipMessage cut = Parse("SIP/2.0 200 r" + reason + "\r\n\r\n");
  EXPECT_EQ(cut.reason, "r" + std::string(126, 'r'));
  // A character outside the BMP takes two units and is never split.
  std::string pair = std::string(126, 'r') + "\xF0\x9F\x93\x9E";
  EXPECT_EQ(Parse("SIP/2.0 200 " + pair + "\r\n\r\n").reason, std::string(126, 'r'));
}

TEST(Headers, RepeatedNamesStayInOrder) {
  SipMessage m = Parse("SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP a\r\nv: SIP/2.0/UDP b\r\nVia: SIP/2.0/UDP c\r\n\r\n");
  auto vias = m.HeaderValues(kVia);
  ASSERT_EQ(vias.size(), 3u);
  EXPECT_EQ(vias[0], "SIP/2.0/UDP a");
  EXPECT_EQ(vias[1], "SIP/2.0/UDP b");
  EXPECT_EQ(vias[2], "SIP/2.0/UDP c");
  EXPECT_EQ(m.FindHeader(kVia), "SIP/2.0/UDP a");
}

TEST(Headers, FoldedValueJoinsWithSingleSpaces) {
  SipMessage m = Parse(
      "SIP/2.0 200 OK\r\nSubject: first\r\n   second  \r\n\tthird\r\nTo: <sip:x>\r\n\r\n");
  EXPECT_EQ(m.FindHeader("Subject"), "first second third");
  EXPECT_EQ(m.FindHeader("To"), "<sip:x>");
  EXPECT_EQ(m.headers.size(), 2u);
}

TEST(Headers, CompactAndCaseInsensitiveLookup) {
  for (const char* name : {"Call-ID", "i", "CALL-id", "I"}) {
    SipMessage m = Parse(std::string("SIP/2.0 200 OK\r\n") + name + ": abc@h\r\n\r\n");
    EXPECT_EQ(m.FindHeader(kCallId), "abc@h") << name;
  }
  SipMessage m = Parse("SIP/2.0 200 OK\r\nf: <sip:f>\r\nt: <sip:t>\r\nm: <sip:m>\r\nCSEQ: 1 INVITE\r\n\r\n");
  EXPECT_EQ(m.FindHeader(kFrom), "<sip:f>");
  EXPECT_EQ(m.FindHeader(kTo), "<sip:t>");
  EXPECT_EQ(m.FindHeader(kContact), "<sip:m>");
  EXPECT_EQ(m.FindHeader(kCSeq), "1 INVITE");
  // One-name lookups do not accept the compact form.
  EXPECT_EQ(m.FindHeader("From", "none"), "none");
  EXPECT_EQ(m.FindHeader(kExpires, "3600"), "3600");
}

TEST(Headers, NameSpacingIsDroppedAndValueTailKept) {
  SipMessage m = Parse("SIP/2.0 200 OK\r\nCall - ID  :   x@y  \r\nTo\t:\t<sip:t>\r\n\r\n");
  EXPECT_EQ(m.headers[0].name, "Call-ID");
  EXPECT_EQ(m.headers[0].value, "x@y  ");
  EXPECT_EQ(m.FindHeader(kTo), "<sip:t>");
}

TEST(Headers, LongValuesSurviveWholeAndLongNamesAreCut) {
  std::string nonce(3000, 'n');
  std::string challenge = "Digest realm=\"r\", nonce=\"" + nonce + "\"";
  std::string via = "SIP/2.0/UDP proxy.example;branch=z9hG4bK" + std::string(500, 'b');
  SipMessage m = Parse("SIP/2.0 401 Unauthorized\r\nVia: " + via + "\r\nWWW-Authenticate: " + challenge +
                       "\r\n\r\n");
  EXPECT_EQ(m.FindHeader(kVia), via);
  EXPECT_EQ(m.FindHeader(kWwwAuthenticate), challenge);
  // An overlong name is cut and the value stays its own.
  SipMessage named = Parse("SIP/2.0 200 OK\r\n" + std::string(40, 'X') + ": v\r\n\r\n");
  ASSERT_EQ(named.headers.size(), 1u);
  EXPECT_EQ(named.headers[0].name, std::string(31, 'X'));
  EXPECT_EQ(named.headers[0].value, "v");
}

TEST(Body, ContentLengthCountsBytesOfUtf8) {
  std::string body = "v=0\r\ns=\xC3\xA9t\xC3\xA9\r\n";  // 14 bytes, 12 characters
  SipMessage m = Parse("SIP/2.0 200 OK\r\nContent-Type: application/sdp\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n" + body + "TRAILING");
  ASSERT_EQ(m.bodies.size(), 1u);
  EXPECT_EQ(m.bodies[0].content, body);
  EXPECT_EQ(m.FindBody("APPLICATION/SDP"), body);
}

TEST(Body, TypeParametersAreDroppedAndCompactNamesWork) {
  SipMessage m = Parse("SIP/2.0 200 OK\r\nc: text/plain;charset=utf-8\r\nl: 5\r\n\r\nhello");
  ASSERT_EQ(m.bodies.size(), 1u);
  EXPECT_EQ(m.bodies[0].contentType, "text/plain");
  EXPECT_EQ(m.bodies[0].content, "hello");
}

TEST(Body, NoTypeOrZeroOrBadLengthMeansNoBody) {
  EXPECT_TRUE(Parse("SIP/2.0 200 OK\r\nContent-Length: 5\r\n\r\nhello").bodies.empty());
  EXPECT_TRUE(Parse("SIP/2.0 200 OK\r\nContent-Type: a/b\r\n\r\nhello").bodies.empty());
  EXPECT_TRUE(Parse("SIP/2.0 200 OK\r\nContent-Type: a/b\r\nContent-Length: -4\r\n\r\nhello").bodies.empty());
  EXPECT_TRUE(Parse("SIP/2.0 200 OK\r\nContent-Type: a/b\r\nContent-Length: x\r\n\r\nhello").bodies.empty());
}

TEST(Body, LengthBeyondTheDatagramTakesWhatIsThereAndPositionAdvancesPastTheBody) {
  // Held in a buffer with more bytes behind it, to show the parser stops at the view's end.
  std::string buffer = "SIP/2.0 200 OK\r\nContent-Type: a/b\r\nContent-Length: 99999999999999999999\r\n\r\nabcSECRET";
  std::string_view datagram(buffer.data(), buffer.size() - 6);
  SipMessage m;
  std::size_t pos = 0;
  ASSERT_TRUE(ParseMessage(datagram, pos, m));
  ASSERT_EQ(m.bodies.size(), 1u);
  EXPECT_EQ(m.bodies[0].content, "abc");
  EXPECT_EQ(pos, datagram.size());

  // The position advances past the body.
  std::string two = "SIP/2.0 100 Trying\r\nContent-Type: a/b\r\nContent-Length: 2\r\n\r\nxySIP/2.0 180 Ringing\r\n\r\n";
  pos = 0;
  ASSERT_TRUE(ParseMessage(two, pos, m));
  EXPECT_EQ(m.statusCode, 100);
  ASSERT_TRUE(ParseMessage(two, pos, m));
  EXPECT_EQ(m.statusCode, 180);
  EXPECT_TRUE(m.bodies.empty());  // the earlier message's body does not linger
}

std::string Multipart(std::string_view boundaryParam, std::string_view body) {
  return "INVITE sip:a@b SIP/2.0\r\nContent-Type: multipart/mixed;" + std::string(boundaryParam) +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

TEST(Multipart, PartWithoutTypeIsDroppedAndClosingDelimiterEndsTheScan) {
  std::string body =
      "--b1\r\nContent-Type: application/sdp\r\n\r\nv=0\r\n"
      "\r\n--b1\r\nX-Note: untyped\r\n\r\nignored"
      "\r\n--b1--\r\nContent-Type: text/plain\r\n\r\nafter the end";
  SipMessage m = Parse(Multipart("boundary=b1", body));
  ASSERT_EQ(m.bodies.size(), 1u);
  EXPECT_EQ(m.bodies[0].contentType, "application/sdp");
  EXPECT_EQ(m.bodies[0].content, "v=0\r\n");
}

TEST(Multipart, QuotedBoundaryCompactTypeMissingCloseAndMissingBoundary) {
  std::string body =
      "preamble\r\n--a b\r\nc: application/sdp; charset=x\r\n\r\nsdp"
      "\r\n--a b\r\nContent-Type: application/isup\r\n\r\nisup-bytes";
  SipMessage m = Parse(Multipart(" boundary=\"a b\"", body));
  ASSERT_EQ(m.bodies.size(), 2u);
  EXPECT_EQ(m.FindBody("application/sdp"), "sdp");
  EXPECT_EQ(m.FindBody("application/isup"), "isup-bytes");
  EXPECT_EQ(m.FindBody("text/plain"), "");
  // Without a boundary the body is dropped.
  EXPECT_TRUE(Parse(Multipart("charset=x", "--b\r\nContent-Type: a/b\r\n\r\nx")).bodies.empty());
}

TEST(ResponseMatch, ComparesNumberAndMethod) {
  SipMessage m = Parse("SIP/2.0 200 OK\r\nCSeq: 42 INVITE\r\n\r\n");
  EXPECT_TRUE(ResponseMatchesRequest(m, 42, "INVITE"));
  EXPECT_FALSE(ResponseMatchesRequest(m, 4, "INVITE"));
  EXPECT_FALSE(ResponseMatchesRequest(m, 421, "INVITE"));
  EXPECT_FALSE(ResponseMatchesRequest(m, 42, "BYE"));
  EXPECT_FALSE(ResponseMatchesRequest(m, 42, "invite"));
  SipMessage spaced = Parse("SIP/2.0 200 OK\r\nCSeq:  42   INVITE  \r\n\r\n");
  EXPECT_TRUE(ResponseMatchesRequest(spaced, 42, "INVITE"));
  SipMessage request = Parse("INVITE sip:x SIP/2.0\r\nCSeq: 42 INVITE\r\n\r\n");
  EXPECT_FALSE(ResponseMatchesRequest(request, 42, "INVITE"));
}

}  // namespace
}  // namespace corvina::sip
