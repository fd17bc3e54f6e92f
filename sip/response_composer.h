// Responses to received requests: Via, Record-Route, To, From, Call-ID and CSeq are copied from
// the request; the response goes back to where the request came from and is kept in the cache
// of sent messages so that a retransmitted request is answered with the same text.
#pragma once

#include <string>
#include <string_view>

#include "sip/sip_endpoint.h"
#include "sip/sip_message.h"

namespace corvina::sip {

struct ResponseOptions {
  std::string_view toTag = {};     // empty: no tag added
  std::string_view contact = {};   // empty: no Contact
  std::string_view bodyType = {};  // both type and body given: the body is sent
  std::string_view body = {};
  bool allow = false;         // the Allow / Accept / Supported lines
};

std::string ComposeResponse(const SipMessage& request, int status, std::string_view reason,
                            const ResponseOptions& options);

// Composes, sends to the request's source and records the response in the sent-message cache.
void SendResponse(SipEndpoint& endpoint, const SipMessage& request, int status, std::string_view reason,
                  const ResponseOptions& options = {});

}  // namespace corvina::sip
