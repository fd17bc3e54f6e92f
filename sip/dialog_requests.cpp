#include "sip/dialog_requests.h"

#include "sip/request_composer.h"
#include "sip/response_composer.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

bool AnswerInDialogRequest(SharedDialog& dialog, const SipMessage& request) {
  SipEndpoint& endpoint = dialog.Services().endpoint;
  Dialog& state = dialog.State();
  const std::string_view method = request.method;
  ResponseOptions tagged{.toTag = state.localTag};
  if (method == wire::kAck) return true;
  if (method == wire::kBye) {
    SendResponse(endpoint, request, 200, wire::kReasonOk, tagged);
    state.established = false;
    return false;
  }
  if (method == wire::kOptions) {
    std::string contact = OwnContact(endpoint.Addresses(), state.localUser, request.source);
    std::string offer = dialog.Offer();
    ResponseOptions options{.toTag = state.localTag, .contact = contact, .bodyType = wire::kSdpType, .body = offer};
    SendResponse(endpoint, request, 200, wire::kReasonOk, options);
    return true;
  }
  if (method == wire::kNotify || method == wire::kCancel || method == wire::kInfo) {
    SendResponse(endpoint, request, 200, wire::kReasonOk, tagged);
  } else if (method == wire::kInvite || method == wire::kRefer) {
    SendResponse(endpoint, request, 491, wire::kReasonRequestPending, tagged);
  } else {
    SendResponse(endpoint, request, 501, wire::kReasonNotImplemented, tagged);
  }
  return true;
}

}  // namespace corvina::sip
