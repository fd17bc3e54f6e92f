#include <gtest/gtest.h>

#include <string>

#include "sip/digest.h"
#include "fake_endpoint.h"
#include "sip/md5.h"
#include "sip/request_auth.h"

namespace corvina::sip {
namespace {

TEST(Md5, Rfc1321TestSuite) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, hex] : cases) EXPECT_EQ(Md5Hex(text), hex) << text;
}

TEST(Md5, PiecewiseUpdatesEqualOneUpdate) {
  // Lengths around the 56- and 64-byte padding edges, fed in uneven pieces.
  for (std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 200u}) {
    std::string data;
    for (std::size_t i = 0; i < length; ++i) data.push_back(static_cast<char>('a' + i % 26));
    Md5 pieces;
    for (std::size_t i = 0; i < length; i += 7) pieces.Update(std::string_view(data).substr(i, 7));
    Md5 whole;
    whole.Update(data);
    EXPECT_EQ(pieces.Finish(), whole.Finish()) << length;
  }
}

TEST(DigestChallenge, ReadsQuotedAndBareValues) {
  DigestChallenge c;
  ASSERT_TRUE(ParseDigestChallenge(
      "  digest realm=\"biloxi, the city\" ,nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque = \"5ccc069c403ebaf9f0171e9517f40e41\",stale=TRUE,algorithm=MD5",
      c));
  EXPECT_EQ(c.realm, "biloxi, the city");
  EXPECT_EQ(c.nonce, "dcd98b7102dd2f0e8b11d0f600bfb0c093");
  EXPECT_EQ(c.opaque, "5ccc069c403ebaf9f0171e9517f40e41");
  EXPECT_TRUE(c.stale);
  EXPECT_EQ(c.params.Find("algorithm"), "MD5");
}

TEST(DigestChallenge, MissingFieldsAreEmptyLongNoncesWholeAndOtherSchemesFail) {
  DigestChallenge c;
  ASSERT_TRUE(ParseDigestChallenge("Digest realm=r", c));
  EXPECT_EQ(c.nonce, "");
  EXPECT_EQ(c.opaque, "");
  EXPECT_FALSE(c.stale);
  EXPECT_FALSE(ParseDigestChallenge("Basic realm=\"r\"", c));
  EXPECT_FALSE(ParseDigestChallenge("", c));
  EXPECT_FALSE(ParseDigestChallenge("Digestive realm=r", c));
  std::string nonce(1500, 'f');  // a long nonce is kept whole
  ASSERT_TRUE(ParseDigestChallenge("Digest realm=\"r\",nonce=\"" + nonce + "\"", c));
  EXPECT_EQ(c.nonce, nonce);
}

TEST(DigestResponse, Rfc2617ResponseArithmeticWithoutQop) {
  // The credentials of RFC 2617's example, answered in the RFC 2069 form (no qop), which is
  // what this phone sends. The expected value is MD5(HA1:nonce:HA2) computed independently.
  DigestChallenge c;
  ASSERT_TRUE(ParseDigestChallenge(
      "Digest realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
      c));
  EXPECT_EQ(Md5Hex("Mufasa:testrealm@host.com:Circle Of Life"), "939e7578ed9e3c518a452acee763bce9");
  EXPECT_EQ(Md5Hex("GET:/dir/index.html"), "39aff3a2bab6126f332b942af96d3366");
  // The RFC's own published response (qop=auth form) from the same two hashes.
  EXPECT_EQ(Md5Hex("939e7578ed9e3c518a452acee763bce9:dcd98b7102dd2f0e8b11d0f600bfb0c093:00000001:0a4f113b:auth:"
                   "39aff3a2bab6126f332b942af96d3366"),
            "6629fae49393a05397450978507c4ef1");
  std::string value = DigestAuthorization(c, "GET", "/dir/index.html", "Mufasa", "Circle Of Life");
  EXPECT_EQ(value,
            "Digest username=\"Mufasa\",realm=\"testrealm@host.com\",nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\","
            "uri=\"/dir/index.html\",response=\"670fd8c2df070c60b045671b8b24ff02\","
            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\",algorithm=MD5");
}

TEST(DigestResponse, EmptyOpaqueIsStillWrittenAndStaleIsReported) {
  auto answer = AnswerChallenge("Digest realm=\"asterisk\",nonce=\"abc\",stale=true", "REGISTER",
                                "sip:reg.example", "100", "pw");
  ASSERT_TRUE(answer.has_value());
  EXPECT_TRUE(answer->stale);
  std::string expected = Md5Hex(Md5Hex("100:asterisk:pw") + ":abc:" + Md5Hex("REGISTER:sip:reg.example"));
  EXPECT_EQ(answer->authorization, "Digest username=\"100\",realm=\"asterisk\",nonce=\"abc\",uri=\"sip:reg.example\","
                                   "response=\"" + expected + "\",opaque=\"\",algorithm=MD5");
  EXPECT_FALSE(AnswerChallenge("NTLM x", "REGISTER", "sip:r", "u", "p").has_value());
}

// A dialog with credentials for user 100 and a request of it not yet answered.
Dialog WithCredentials() {
  Dialog d;
  d.authorizationUser = "100";
  d.password = "pw";
  return d;
}

SipRequestOut Request(std::string_view method, std::string_view uri) {
  SipRequestOut r;
  r.method = std::string(method);
  r.requestUri = std::string(uri);
  return r;
}

SipMessage Challenge(int status, std::string_view header, std::string_view value) {
  SipMessage m;
  m.statusCode = static_cast<std::uint16_t>(status);
  m.reason = status == 401 ? "Unauthorized" : "Proxy Authentication Required";
  m.headers.push_back({std::string(header), std::string(value)});
  return m;
}

TEST(RequestChallenge, ProxyChallengeSetsProxyCredentialsThenDetectsRejection) {
  Dialog d = WithCredentials();
  SipRequestOut invite = Request("INVITE", "sip:200@pbx");
  testing::RecordingLog log;
  SipMessage challenge = Challenge(407, "Proxy-Authenticate", "Digest realm=\"pbx\",nonce=\"n1\"");
  ASSERT_EQ(AnswerRequestChallenge(d, invite, challenge, log), ChallengeOutcome::kRetry);
  EXPECT_FALSE(invite.authorizationIsWww);
  std::string expected = Md5Hex(Md5Hex("100:pbx:pw") + ":n1:" + Md5Hex("INVITE:sip:200@pbx"));
  EXPECT_NE(invite.authorization.find("response=\"" + expected + "\""), std::string::npos);
  EXPECT_TRUE(log.entries.empty());

  // The same challenge again: the credentials were refused.
  EXPECT_EQ(AnswerRequestChallenge(d, invite, challenge, log), ChallengeOutcome::kRejected);
  ASSERT_EQ(log.entries.size(), 4u);
  EXPECT_EQ(log.entries[0].first, "Authorization failed for server");
  EXPECT_EQ(log.entries[1].first, "Error message was: Proxy Authentication Required");
  EXPECT_EQ(log.entries[3].first, "Perhaps calls to this number are not allowed by this server.");

  // Stale: answered again although the value repeats.
  SipMessage stale = Challenge(407, "Proxy-Authenticate", "Digest realm=\"pbx\",nonce=\"n1\",stale=TRUE");
  EXPECT_EQ(AnswerRequestChallenge(d, invite, stale, log), ChallengeOutcome::kRetry);
}

TEST(RequestChallenge, WwwChallengeAndMissingPassword) {
  Dialog d = WithCredentials();
  SipRequestOut bye = Request("BYE", "sip:200@10.0.0.9");
  bye.authorizationIsWww = false;
  testing::RecordingLog log;
  ASSERT_EQ(AnswerRequestChallenge(d, bye, Challenge(401, "WWW-Authenticate", "Digest realm=\"r\",nonce=\"x\""), log),
            ChallengeOutcome::kRetry);
  EXPECT_TRUE(bye.authorizationIsWww);
  EXPECT_NE(bye.authorization.find("uri=\"sip:200@10.0.0.9\""), std::string::npos);
  // A 401 carrying only a proxy challenge is not answerable.
  EXPECT_EQ(AnswerRequestChallenge(d, bye, Challenge(401, "Proxy-Authenticate", "Digest realm=\"r\""), log),
            ChallengeOutcome::kNotDigest);
  d.password.clear();
  EXPECT_EQ(AnswerRequestChallenge(d, bye, Challenge(401, "WWW-Authenticate", "Digest realm=\"r\""), log),
            ChallengeOutcome::kNoPassword);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].first, "Password is being requested when none is available!");
  EXPECT_EQ(log.entries[0].second, platform::kLogError);
}

TEST(DigestQop, OfferedAuthIsAnsweredWithNonceCountAndClientNonce) {
  DigestChallenge c;
  ASSERT_TRUE(ParseDigestChallenge("Digest realm=\"a,b\", qop=\"auth-int, auth\", nonce=\"n1\"", c));
  EXPECT_EQ(c.realm, "a,b");
  EXPECT_TRUE(c.offersQopAuth);
  // RFC 2617's own example, whose published response is 6629fae49393a05397450978507c4ef1.
  DigestChallenge rfc;
  ASSERT_TRUE(ParseDigestChallenge("Digest realm=\"testrealm@host.com\",qop=\"auth,auth-int\","
                                   "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\",opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
                                   rfc));
  EXPECT_EQ(DigestAuthorization(rfc, "GET", "/dir/index.html", "Mufasa", "Circle Of Life", "0a4f113b"),
            "Digest username=\"Mufasa\",realm=\"testrealm@host.com\",nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\","
            "uri=\"/dir/index.html\",response=\"6629fae49393a05397450978507c4ef1\","
            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\",algorithm=MD5,qop=auth,nc=00000001,cnonce=\"0a4f113b\"");
  // Only auth-int offered: answered without qop.
  ASSERT_TRUE(ParseDigestChallenge("Digest realm=\"r\",nonce=\"n\",qop=\"auth-int\"", c));
  EXPECT_FALSE(c.offersQopAuth);
  // Each answer gets a fresh client nonce.
  auto first = AnswerChallenge("Digest realm=\"r\",nonce=\"n\",qop=\"auth\"", "INVITE", "sip:x", "u", "p");
  auto second = AnswerChallenge("Digest realm=\"r\",nonce=\"n\",qop=\"auth\"", "INVITE", "sip:x", "u", "p");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->authorization, second->authorization);
}

TEST(DigestQop, FirstMd5ChallengeIsAnsweredAndAFreshNonceAfterCredentialsIsRefusal) {
  Dialog d = WithCredentials();
  SipRequestOut invite = Request("INVITE", "sip:200@pbx");
  SipMessage challenge;
  challenge.statusCode = 401;
  challenge.reason = "Unauthorized";
  challenge.headers.push_back({"WWW-Authenticate", "Digest realm=\"pbx\",nonce=\"sha\",algorithm=SHA-256"});
  challenge.headers.push_back({"WWW-Authenticate", "Digest realm=\"pbx\",nonce=\"md5\",qop=\"auth\""});
  testing::RecordingLog log;
  ASSERT_EQ(AnswerRequestChallenge(d, invite, challenge, log), ChallengeOutcome::kRetry);
  EXPECT_NE(invite.authorization.find("nonce=\"md5\""), std::string::npos);
  challenge.headers[1].value = "Digest realm=\"pbx\",nonce=\"another\",qop=\"auth\"";
  EXPECT_EQ(AnswerRequestChallenge(d, invite, challenge, log), ChallengeOutcome::kRejected);
  EXPECT_EQ(log.entries.size(), 4u);
}

}  // namespace
}  // namespace corvina::sip
