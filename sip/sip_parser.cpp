#include "sip/sip_parser.h"

#include <cstring>
#include <string>

#include "platform/text.h"
#include "sip/multipart.h"
#include "sip/text_scan.h"

namespace corvina::sip {
namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

class Cursor {
 public:
  Cursor(std::string_view text, std::size_t pos) : text_(text), pos_(pos < text.size() ? pos : text.size()) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  void Advance() { ++pos_; }
  std::size_t Position() const { return pos_; }
  std::string_view Remaining() const { return text_.substr(pos_); }
  void Skip(std::size_t n) { pos_ += n < text_.size() - pos_ ? n : text_.size() - pos_; }

  void SkipSpaces() {
    while (!AtEnd() && Peek() == ' ') ++pos_;
  }
  void SkipSpacesAndTabs() {
    while (!AtEnd() && IsSpaceOrTab(Peek())) ++pos_;
  }

  // One line end: CR LF, LF CR, CR or LF.
  void SkipLineEnd() {
    if (AtEnd()) return;
    char first = Peek();
    if (!IsLineEnd(first)) return;
    ++pos_;
    if (!AtEnd() && IsLineEnd(Peek()) && Peek() != first) ++pos_;
  }

  // The text up to the next CR or LF (not consumed). Two memchr scans: the LF first, then a CR
  // only up to it.
  std::string_view ToLineEnd() {
    std::string_view rest = Remaining();
    auto offset = [&](const void* at, std::size_t none) {
      return at == nullptr ? none : static_cast<std::size_t>(static_cast<const char*>(at) - rest.data());
    };
    const std::size_t limit = offset(std::memchr(rest.data(), '\n', rest.size()), rest.size());
    const std::size_t n = offset(std::memchr(rest.data(), '\r', limit), limit);
    pos_ += n;
    return rest.substr(0, n);
  }

 private:
  std::string_view text_;
  std::size_t pos_;
};

// A start-line token: leading spaces skipped, then everything up to a space or a control
// character. Characters beyond the limit are consumed but not kept.
std::string ReadToken(Cursor& c, std::size_t maxUnits) {
  c.SkipSpaces();
  std::string_view rest = c.Remaining();
  std::size_t n = 0;
  while (n < rest.size() && rest[n] != ' ' && !IsControl(rest[n])) ++n;
  c.Skip(n);
  return Limited(rest.substr(0, n), maxUnits);
}

// A status code: the leading decimal digits of the token, 100 to 699.
bool ReadStatusCode(std::string_view token, std::uint16_t& status) {
  unsigned value = 0;
  std::size_t digits = 0;
  while (digits < token.size() && digits < 4 && token[digits] >= '0' && token[digits] <= '9') {
    value = value * 10 + static_cast<unsigned>(token[digits] - '0');
    ++digits;
  }
  if (digits == 0 || value < 100 || value > 699) return false;
  status = static_cast<std::uint16_t>(value);
  return true;
}

bool ParseStartLine(Cursor& c, SipMessage& m) {
  std::string first;
  for (;;) {
    first = ReadToken(c, kMaxMethodUnits);
    if (!first.empty()) break;
    if (c.AtEnd()) return false;
    c.Advance();  // blank lines or stray bytes before the start line
  }
  std::string second = ReadToken(c, kMaxRequestUriUnits);
  if (second.empty()) return false;
  c.SkipSpaces();
  std::string third = Limited(c.ToLineEnd(), kMaxReasonUnits);
  c.SkipLineEnd();

  if (platform::StartsWithIgnoreCase(first, "SIP/")) {
    if (!ReadStatusCode(second, m.statusCode)) return false;
    m.method.clear();
    m.requestUri.clear();
    m.reason = std::move(third);
    return true;
  }
  if (!platform::StartsWithIgnoreCase(third, "SIP/")) return false;
  m.method = std::move(first);
  m.requestUri = std::move(second);
  m.statusCode = kRequestStatus;
  m.reason.clear();
  return true;
}

// A header name runs to the colon (consumed) or to a control character; white space inside
// or around it is dropped.
std::string ReadHeaderName(Cursor& c) {
  // Usually the name runs straight to the colon: taken in one piece.
  std::string_view rest = c.Remaining();
  std::size_t n = 0;
  while (n < rest.size() && rest[n] != ':' && !IsSpaceOrTab(rest[n]) && !IsControl(rest[n])) ++n;
  if (n < rest.size() && rest[n] == ':') {
    c.Skip(n + 1);
    return Limited(rest.substr(0, n), kMaxHeaderNameUnits);
  }
  std::string name;
  while (!c.AtEnd()) {
    char ch = c.Peek();
    if (ch == ':') {
      c.Advance();
      break;
    }
    if (IsSpaceOrTab(ch)) {
      c.Advance();
      continue;
    }
    if (IsControl(ch)) break;
    name.push_back(ch);
    c.Advance();
  }
  return Limited(name, kMaxHeaderNameUnits);
}

void ParseHeaders(Cursor& c, SipMessage& m) {
  m.headers.clear();
  m.headers.reserve(16);
  while (!c.AtEnd()) {
    std::string name = ReadHeaderName(c);
    if (name.empty()) break;
    c.SkipSpacesAndTabs();
    std::string value(c.ToLineEnd());
    c.SkipLineEnd();
    // Continuation lines begin with white space; each joins the value with one space.
    while (!c.AtEnd() && IsSpaceOrTab(c.Peek())) {
      c.SkipSpacesAndTabs();
      std::string_view more = c.ToLineEnd();
      c.SkipLineEnd();
      if (more.empty()) continue;
      value.resize(TrimTrailingWhite(value).size());
      if (!value.empty()) value.push_back(' ');
      value += more;
    }
    m.headers.push_back({std::move(name), std::move(value)});
  }
  // The rest of the empty line that ends the header section.
  c.ToLineEnd();
  c.SkipLineEnd();
}

void ParseBody(Cursor& c, SipMessage& m) {
  m.bodies.clear();
  std::string_view contentType = m.FindHeader(kContentType);
  long length = platform::ParseLeadingLong(m.FindHeader(kContentLength, "0"));
  if (contentType.empty() || length <= 0) return;

  // Content-Length counts bytes; a datagram that holds fewer gives what it has.
  std::string_view rest = c.Remaining();
  std::size_t take = static_cast<unsigned long>(length) < rest.size() ? static_cast<std::size_t>(length) : rest.size();
  std::string_view content = rest.substr(0, take);
  c.Skip(take);

  std::size_t typeEnd = contentType.find_first_of(" \t;");
  std::string_view mediaType = contentType.substr(0, typeEnd);
  if (!platform::EqualsIgnoreCase(mediaType, "multipart/mixed")) {
    m.bodies.push_back({Limited(mediaType, platform::kMaxTextUnits), std::string(content)});
    return;
  }
  std::string boundary =
      typeEnd == std::string_view::npos ? std::string() : FindMultipartBoundary(contentType.substr(typeEnd));
  if (boundary.empty()) return;
  SplitMultipart(content, boundary, m.bodies);
}

}  // namespace

bool ParseMessage(std::string_view text, std::size_t& position, SipMessage& message) {
  Cursor c(text, position);
  bool ok = ParseStartLine(c, message);
  if (ok) {
    ParseHeaders(c, message);
    ParseBody(c, message);
  }
  position = c.Position();
  return ok;
}

}  // namespace corvina::sip
