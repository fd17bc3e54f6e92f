// Feeds any bytes to the SIP message parser, then to every lookup and to the name-address and
// URI parsers and the URI formatter for each header value and start-line URI it yields.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sip/digest.h"
#include "sip/name_addr.h"
#include "sip/sip_message.h"
#include "sip/sip_parser.h"
#include "sip/sip_uri.h"

namespace {

using namespace corvina::sip;

// Results are folded into a sink so the work cannot be optimised away.
volatile std::size_t gSink = 0;

void Exercise(std::string_view text) {
  NameAddr na = ParseNameAddr(text);
  SipUri uri = ParseUri(na.uri);
  std::string formatted = FormatUri(uri);
  SipUri again = ParseUri(formatted);
  gSink = gSink + formatted.size() + again.host.size() + na.params.Size() + QuoteDisplayName(na.displayName).size();
  SipUri direct = ParseUri(text);
  gSink = gSink + FormatUri(direct).size() + direct.port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  SipMessage m;
  std::size_t pos = 0;
  bool ok = ParseMessage(text, pos, m);
  if (pos > size) __builtin_trap();
  if (!ok) {
    Exercise(text);
    return 0;
  }
  for (const HeaderName* h : {&kVia, &kTo, &kFrom, &kCallId, &kContact, &kContentType, &kContentLength, &kCSeq,
                              &kRecordRoute, &kExpires, &kReplaces, &kUserAgent, &kWwwAuthenticate,
                              &kProxyAuthenticate}) {
    gSink = gSink + m.FindHeader(*h).size() + m.FindHeader(h->full, "d").size() + m.HeaderValues(*h).size();
  }
  gSink = gSink + m.FindBody("application/sdp").size() + ResponseMatchesRequest(m, 1, "INVITE");
  Exercise(m.requestUri);
  for (const SipHeader& h : m.headers) {
    Exercise(h.value);
    DigestChallenge challenge;
    if (ParseDigestChallenge(h.value, challenge)) gSink = gSink + challenge.nonce.size();
  }
  return 0;
}
