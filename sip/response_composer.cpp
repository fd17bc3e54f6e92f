#include "sip/response_composer.h"

#include "sip/message_body.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

std::string ComposeResponse(const SipMessage& request, int status, std::string_view reason,
                            const ResponseOptions& options) {
  std::string out;
  out.reserve(512 + options.body.size());
  AppendWire(out, wire::kStatusLine, {status, reason});
  for (std::string_view via : request.HeaderValues(kVia)) AppendWire(out, wire::kViaHeader, {via});
  for (std::string_view route : request.HeaderValues(kRecordRoute)) AppendWire(out, wire::kRecordRouteHeader, {route});
  std::string_view to = request.FindHeader(kTo);
  if (!options.toTag.empty() && to.find(wire::kTagMarker) == std::string_view::npos) {
    AppendWire(out, wire::kToHeaderWithTag, {to, options.toTag});
  } else {
    AppendWire(out, wire::kToHeader, {to});
  }
  AppendWire(out, wire::kResponseDialogHeaders,
             {request.FindHeader(kFrom), request.FindHeader(kCallId), request.FindHeader(kCSeq)});
  if (!options.contact.empty()) AppendWire(out, wire::kResponseContactHeader, {options.contact});
  if (options.allow) out += wire::kResponseAllow;
  AppendBody(out, options.bodyType, options.body);
  return out;
}

void SendResponse(SipEndpoint& endpoint, const SipMessage& request, int status, std::string_view reason,
                  const ResponseOptions& options) {
  std::string text = ComposeResponse(request, status, reason, options);
  endpoint.Send(request.source, text);
  endpoint.RecordSent(request, request.source, text);
}

}  // namespace corvina::sip
