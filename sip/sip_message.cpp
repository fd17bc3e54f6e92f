#include "sip/sip_message.h"

#include "platform/text.h"
#include "sip/text_scan.h"

namespace corvina::sip {

std::string_view SipMessage::FindHeader(std::string_view name, std::string_view fallback) const {
  for (const SipHeader& h : headers) {
    if (platform::EqualsIgnoreCase(h.name, name)) return h.value;
  }
  return fallback;
}

std::string_view SipMessage::FindHeader(const HeaderName& name, std::string_view fallback) const {
  for (const SipHeader& h : headers) {
    if (HeaderNameMatches(h.name, name)) return h.value;
  }
  return fallback;
}

std::vector<std::string_view> SipMessage::HeaderValues(const HeaderName& name) const {
  std::vector<std::string_view> values;
  for (const SipHeader& h : headers) {
    if (HeaderNameMatches(h.name, name)) values.push_back(h.value);
  }
  return values;
}

std::string_view SipMessage::FindBody(std::string_view contentType) const {
  for (const SipBodyPart& b : bodies) {
    if (platform::EqualsIgnoreCase(b.contentType, contentType)) return b.content;
  }
  return {};
}

bool ResponseMatchesRequest(const SipMessage& message, std::uint32_t cseq, std::string_view method) {
  if (!message.IsResponse()) return false;
  // "number method"; white space around and between the two is tolerated, as RFC 3261 allows
  // linear white space there. The number must be the same digits, the method the same case.
  std::string_view value = TrimWhite(message.FindHeader(kCSeq));
  std::string number = std::to_string(cseq);
  if (value.substr(0, number.size()) != number) return false;
  value.remove_prefix(number.size());
  if (value.empty() || !IsSpaceOrTab(value.front())) return false;
  return TrimWhite(value) == method;
}

}  // namespace corvina::sip
