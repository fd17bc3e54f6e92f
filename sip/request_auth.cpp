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
  std::string_view challenge = response.FindHeader(www ? kWwwAuthenticate : kProxyAuthenticate);
  std::optional<DigestAnswer> answer =
      AnswerChallenge(challenge, request.method, request.requestUri, dialog.authorizationUser, dialog.password);
  if (!answer) return ChallengeOutcome::kNotDigest;
  if (answer->authorization == request.authorization && !answer->stale) {
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
