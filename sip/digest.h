// Digest authentication (RFC 2617, MD5): reading a WWW-Authenticate or Proxy-Authenticate
// challenge and computing the Authorization value that answers it. A challenge that offers
// qop "auth" is answered with qop=auth, a nonce count and a fresh client nonce (servers that
// offer qop refuse answers without it); any other challenge in the plain RFC 2069 form.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sip/param_list.h"

namespace corvina::sip {

struct DigestChallenge {
  std::string realm;
  std::string nonce;
  std::string opaque;
  bool stale = false;
  bool offersQopAuth = false;  // the qop list holds "auth"
  ParamList params;  // every name=value pair of the challenge, quotes removed
};

// False when the value is not a Digest challenge.
bool ParseDigestChallenge(std::string_view value, DigestChallenge& out);

// The Authorization value for `challenge`: HA1 = MD5(user:realm:password), HA2 = MD5(method:uri),
// response = MD5(HA1:nonce:HA2), or MD5(HA1:nonce:nc:cnonce:auth:HA2) when the challenge offers
// qop "auth" (then `cnonce` is used, with nonce count 1).
std::string DigestAuthorization(const DigestChallenge& challenge, std::string_view method, std::string_view uri,
                                std::string_view user, std::string_view password, std::string_view cnonce = {});

// 16 lower-case hexadecimal digits from the system's random source.
std::string NewClientNonce();

struct DigestAnswer {
  std::string authorization;
  bool stale = false;
};

// Parses the challenge and answers it; nothing when it is not a Digest challenge. An empty
// `cnonce` takes a fresh one when the challenge needs it.
std::optional<DigestAnswer> AnswerChallenge(std::string_view challengeValue, std::string_view method,
                                            std::string_view uri, std::string_view user,
                                            std::string_view password, std::string_view cnonce = {});

// Of several challenge headers, answers the first Digest challenge whose algorithm is MD5 or
// not given; nothing when there is none.
std::optional<DigestAnswer> AnswerChallenges(std::span<const std::string_view> challengeValues,
                                             std::string_view method, std::string_view uri, std::string_view user,
                                             std::string_view password, std::string_view cnonce = {});

}  // namespace corvina::sip
