// Digest authentication (RFC 2617, MD5 without qop): reading a WWW-Authenticate or
// Proxy-Authenticate challenge and computing the Authorization value that answers it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sip/param_list.h"

namespace corvina::sip {

struct DigestChallenge {
  std::string realm;
  std::string nonce;
  std::string opaque;
  bool stale = false;
  ParamList params;  // every name=value pair of the challenge, quotes removed
};

// False when the value is not a Digest challenge.
bool ParseDigestChallenge(std::string_view value, DigestChallenge& out);

// The Authorization value for `challenge`:
//   HA1 = MD5(user:realm:password), HA2 = MD5(method:uri), response = MD5(HA1:nonce:HA2).
std::string DigestAuthorization(const DigestChallenge& challenge, std::string_view method, std::string_view uri,
                                std::string_view user, std::string_view password);

struct DigestAnswer {
  std::string authorization;
  bool stale = false;
};

// Parses the challenge and answers it; nothing when it is not a Digest challenge.
std::optional<DigestAnswer> AnswerChallenge(std::string_view challengeValue, std::string_view method,
                                            std::string_view uri, std::string_view user,
                                            std::string_view password);

}  // namespace corvina::sip
