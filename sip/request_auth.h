// Answering a 401 or 407 to a request sent in a dialog: the request takes the new credentials
// and the caller sends it again with the next CSeq and a new branch.
#pragma once

#include "platform/log_sink.h"
#include "sip/dialog.h"
#include "sip/request_composer.h"
#include "sip/sip_message.h"

namespace corvina::sip {

enum class ChallengeOutcome {
  kRetry,       // the request carries new credentials; send it again
  kNoPassword,  // the dialog has no password (logged)
  kRejected,    // the request's credentials were refused and the nonce is not stale (logged)
  kNotDigest,   // the challenge is missing or not a Digest challenge
};

ChallengeOutcome AnswerRequestChallenge(const Dialog& dialog, SipRequestOut& request, const SipMessage& response,
                                        platform::LogSink& log);

}  // namespace corvina::sip
