#include "sip/request_auth.h"

#include <string>

#include "sip/digest.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

ChallengeOutcome AnswerRequestChallenge(const Dialog& dialog, SipRequestOut& request, const SipMessage& response,
                                        platform::LogSink& log) {
  if (dialog.password.empty()) {
    log.Log(wire::kNoPasswordForChallenge, platform::kLogError);
    return ChallengeOutcome::kNoPassword;
  }
  const bool www = response.statusCode == 401;
  std::vector<std::string_view> challenges = response.HeaderValues(www ? kWwwAuthenticate : kProxyAuthenticate);
  std::optional<DigestAnswer> answer =
      AnswerChallenges(challenges, request.method, request.requestUri, dialog.authorizationUser, dialog.password);
  if (!answer) return ChallengeOutcome::kNotDigest;
  // Every answer carries a fresh client nonce and servers send fresh nonces, so the refusal is
  // recognised as a second, not stale, challenge to a request that already had credentials.
  if (!request.authorization.empty() && !answer->stale) {
    log.Log(wire::kAuthorizationFailed, platform::kLogError);
    log.Log(std::string(wire::kErrorMessageWas) + response.reason, platform::kLogError);
    log.Log(wire::kCheckCredentials, platform::kLogError);
    log.Log(wire::kNumberNotAllowed, platform::kLogError);
    return ChallengeOutcome::kRejected;
  }
  request.authorizationIsWww = www;
  request.authorization = std::move(answer->authorization);
  return ChallengeOutcome::kRetry;
}

}  // namespace corvina::sip
