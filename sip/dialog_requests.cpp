#include "sip/dialog_requests.h"

#include <algorithm>

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

FinalResponse SendAndWait(SharedDialog& dialog, const SipRequestOut& request,
                          const std::function<bool()>& stopRequested) {
  SipEndpoint& endpoint = dialog.Services().endpoint;
  const std::uint32_t firstSend = endpoint.NowMs();
  std::uint32_t lastSend = firstSend;
  bool provisional = false;
  for (;;) {
    auto since = [&](std::uint32_t t) { return static_cast<int>(endpoint.NowMs() - t); };
    if (since(firstSend) >= kRequestLimitMs || (stopRequested && stopRequested())) return {};
    if (!provisional && since(lastSend) >= kRequestResendMs) {
      Resend(endpoint, request);
      lastSend = endpoint.NowMs();
    }
    // Waits stay within one resend interval so that a stop request is seen in time.
    int wait = std::min(kRequestLimitMs - since(firstSend), kRequestResendMs);
    if (!provisional) wait = std::min(wait, kRequestResendMs - since(lastSend));
    std::unique_ptr<SipMessage> message = dialog.WaitNext(wait);
    if (!message) continue;
    if (message->IsRequest()) {
      if (!AnswerInDialogRequest(dialog, *message)) return {kStatusDialogEnded, nullptr};
      continue;
    }
    if (!ResponseMatchesRequest(*message, request.cseq, request.method)) continue;
    if (message->statusCode >= 100 && message->statusCode <= 199) {
      provisional = true;
      continue;
    }
    int status = message->statusCode;
    return {status, std::move(message)};
  }
}

}  // namespace corvina::sip
