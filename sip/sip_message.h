// One received SIP message: start line, header lines in order, and body parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket_address.h"
#include "platform/text.h"

namespace corvina::sip {

// The SIP layer speaks of the platform's IPv4 socket addresses.
using platform::FormatSocketAddress;
using platform::IsPrivateAddress;
using platform::SocketAddress;

// A header looked up by its long name or, where SIP has one, its compact form.
struct HeaderName {
  std::string_view full;
  std::string_view compact;  // empty when the header has no compact form
};

inline constexpr HeaderName kVia{"Via", "v"};
inline constexpr HeaderName kTo{"To", "t"};
inline constexpr HeaderName kFrom{"From", "f"};
inline constexpr HeaderName kCallId{"Call-ID", "i"};
inline constexpr HeaderName kContact{"Contact", "m"};
inline constexpr HeaderName kContentType{"Content-Type", "c"};
inline constexpr HeaderName kContentLength{"Content-Length", "l"};
inline constexpr HeaderName kCSeq{"CSeq", {}};
inline constexpr HeaderName kRecordRoute{"Record-Route", {}};
inline constexpr HeaderName kExpires{"Expires", {}};
inline constexpr HeaderName kReplaces{"Replaces", {}};
inline constexpr HeaderName kReferTo{"Refer-To", "r"};
inline constexpr HeaderName kUserAgent{"User-Agent", {}};
inline constexpr HeaderName kWwwAuthenticate{"WWW-Authenticate", {}};
inline constexpr HeaderName kProxyAuthenticate{"Proxy-Authenticate", {}};

// Field limits in UTF-16 units. Header values and bodies are kept whole.
inline constexpr std::size_t kMaxMethodUnits = 31;
inline constexpr std::size_t kMaxRequestUriUnits = 127;
inline constexpr std::size_t kMaxReasonUnits = 127;
inline constexpr std::size_t kMaxHeaderNameUnits = 31;

// The status code field of a request.
inline constexpr std::uint16_t kRequestStatus = 0xFFFF;

struct SipHeader {
  std::string name;   // as received, spaces removed
  std::string value;  // leading white space removed, continuation lines joined by one space
};

struct SipBodyPart {
  std::string contentType;  // the media type without parameters
  std::string content;
};

struct SipMessage {
  SocketAddress source;
  std::string method;      // empty for a response
  std::string requestUri;  // empty for a response
  std::uint16_t statusCode = kRequestStatus;
  std::string reason;      // a response's reason phrase; empty for a request
  std::vector<SipHeader> headers;
  std::vector<SipBodyPart> bodies;

  bool IsRequest() const { return statusCode == kRequestStatus; }
  bool IsResponse() const { return statusCode != kRequestStatus; }

  // The value of the first header whose name equals `name` ignoring case.
  std::string_view FindHeader(std::string_view name, std::string_view fallback = {}) const;
  // As above, accepting the long or the compact name.
  std::string_view FindHeader(const HeaderName& name, std::string_view fallback = {}) const;
  // Every value of the header, in order of appearance.
  std::vector<std::string_view> HeaderValues(const HeaderName& name) const;
  // The content of the first body part of that media type (ignoring case), or empty.
  std::string_view FindBody(std::string_view contentType) const;
};

// Inline: every header lookup runs it once per header of the message.
inline bool HeaderNameMatches(std::string_view name, const HeaderName& wanted) {
  return platform::EqualsIgnoreCase(name, wanted.full) ||
         (!wanted.compact.empty() && platform::EqualsIgnoreCase(name, wanted.compact));
}

// True when `message` is a response whose CSeq is the request's number and method.
bool ResponseMatchesRequest(const SipMessage& message, std::uint32_t cseq, std::string_view method);

}  // namespace corvina::sip
