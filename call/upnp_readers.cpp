#include "call/upnp_readers.h"

#include <algorithm>
#include <cctype>

#include "call/nat_texts.h"
#include "sip/wire_format.h"

namespace corvina::call {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from = 0) {
  if (what.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    bool same = true;
    for (std::size_t j = 0; j < what.size() && same; ++j) same = Lower(text[i + j]) == Lower(what[j]);
    if (same) return i;
  }
  return std::string_view::npos;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && FindNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// A decimal number of at most `maxDigits` digits spanning all of `text`.
std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Decodes a chunked body starting at `body`; kNeedMore until the last chunk has arrived.
HttpReadState ReadChunked(std::string_view body, std::string* out) {
  out->clear();
  std::size_t at = 0;
  for (;;) {
    const std::size_t eol = body.find('\n', at);
    if (eol == std::string_view::npos) return HttpReadState::kNeedMore;
    std::string_view sizeText = Trim(body.substr(at, eol - at));
    sizeText = sizeText.substr(0, sizeText.find(';'));
    sizeText = Trim(sizeText);
    if (sizeText.empty() || sizeText.size() > 8) return HttpReadState::kBad;
    std::size_t size = 0;
    for (char c : sizeText) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return HttpReadState::kBad;
      size = size * 16 + static_cast<std::size_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : Lower(c) - 'a' + 10);
    }
    at = eol + 1;
    if (size == 0) return HttpReadState::kDone;
    if (body.size() - at < size) return HttpReadState::kNeedMore;
    out->append(body.substr(at, size));
    at += size;
    // The CRLF after the chunk data.
    if (at < body.size() && body[at] == '\r') ++at;
    if (at >= body.size()) return HttpReadState::kNeedMore;
    if (body[at] != '\n') return HttpReadState::kBad;
    ++at;
  }
}

}  // namespace

std::optional<std::string> FindSsdpLocation(std::string_view reply) {
  const std::size_t at = FindNoCase(reply, nat::kLocationField);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view value = reply.substr(at + nat::kLocationField.size());
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  value = value.substr(0, std::min(value.find_first_of("\r\n"), kMaxLocationChars));
  value = Trim(value);
  if (value.empty()) return std::nullopt;
  return std::string(value);
}

std::optional<HttpUrl> SplitHttpUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (!StartsWithNoCase(url, kScheme)) return std::nullopt;
  url.remove_prefix(kScheme.size());
  const std::size_t slash = url.find('/');
  std::string_view authority = url.substr(0, slash);
  HttpUrl result;
  if (slash != std::string_view::npos) result.path = std::string(url.substr(slash));
  const std::size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    auto port = ParseDecimal(authority.substr(colon + 1), 5);
    if (!port || *port == 0 || *port > 65535) return std::nullopt;
    result.port = static_cast<std::uint16_t>(*port);
    authority = authority.substr(0, colon);
  }
  if (authority.empty()) return std::nullopt;
  for (char c : authority) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '@' || c == '?' || c == '#') return std::nullopt;
  }
  result.host = std::string(authority);
  return result;
}

std::optional<HttpUrl> FindControlUrl(std::string_view description, std::string_view service, const HttpUrl& base) {
  const std::string type = std::string(nat::kServiceTypeTag) + std::string(nat::kServiceTypePrefix) + std::string(service);
  const std::size_t at = description.find(type);
  if (at == std::string_view::npos) return std::nullopt;
  const std::size_t tag = description.find(nat::kControlUrlTag, at + type.size());
  if (tag == std::string_view::npos) return std::nullopt;
  std::string_view value = description.substr(tag + nat::kControlUrlTag.size());
  const std::size_t end = value.find('<');
  if (end == std::string_view::npos) return std::nullopt;
  value = Trim(value.substr(0, end));
  if (value.empty()) return std::nullopt;
  if (StartsWithNoCase(value, "http://")) return SplitHttpUrl(value);
  HttpUrl control = base;
  control.path = value.front() == '/' ? std::string(value) : "/" + std::string(value);
  return control;
}

std::optional<std::string> SoapElementText(std::string_view reply, std::string_view element) {
  const std::string open = "<" + std::string(element);
  std::size_t at = 0;
  for (;;) {
    at = reply.find(open, at);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t after = at + open.size();
    if (after < reply.size() && (reply[after] == '>' || reply[after] == ' ' || reply[after] == '\t' ||
                                 reply[after] == '\r' || reply[after] == '\n' || reply[after] == '/')) {
      break;
    }
    at = after;
  }
  const std::size_t gt = reply.find('>', at + open.size());
  if (gt == std::string_view::npos) return std::nullopt;
  if (reply[gt - 1] == '/') return std::string();  // <element/>
  const std::size_t lt = reply.find('<', gt + 1);
  if (lt == std::string_view::npos) return std::nullopt;
  return std::string(reply.substr(gt + 1, lt - gt - 1));
}

HttpReadState ReadHttpReply(std::string_view received, bool closed, HttpReply* reply) {
  std::size_t headEnd = received.find("\r\n\r\n");
  std::size_t bodyStart = headEnd == std::string_view::npos ? headEnd : headEnd + 4;
  if (headEnd == std::string_view::npos) {
    headEnd = received.find("\n\n");
    bodyStart = headEnd == std::string_view::npos ? headEnd : headEnd + 2;
  }
  if (headEnd == std::string_view::npos) return closed ? HttpReadState::kBad : HttpReadState::kNeedMore;
  const std::string_view head = received.substr(0, headEnd);
  // Status line: HTTP/1.x NNN reason
  if (!StartsWithNoCase(head, "HTTP/1.") || head.size() < 12 || head[8] != ' ') return HttpReadState::kBad;
  auto status = ParseDecimal(head.substr(9, 3), 3);
  if (!status || (head.size() > 12 && head[12] != ' ' && head[12] != '\r' && head[12] != '\n')) {
    return HttpReadState::kBad;
  }
  std::optional<std::uint64_t> contentLength;
  bool chunked = false;
  std::size_t lineStart = head.find('\n');
  while (lineStart != std::string_view::npos && lineStart < head.size()) {
    const std::size_t next = head.find('\n', lineStart + 1);
    std::string_view line = head.substr(lineStart + 1, next == std::string_view::npos ? head.npos : next - lineStart - 1);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      const std::string_view name = Trim(line.substr(0, colon));
      const std::string_view value = Trim(line.substr(colon + 1));
      if (name.size() == 14 && StartsWithNoCase(name, "Content-Length")) {
        contentLength = ParseDecimal(value, 9);
        if (!contentLength) return HttpReadState::kBad;
      } else if (name.size() == 17 && StartsWithNoCase(name, "Transfer-Encoding")) {
        chunked = FindNoCase(value, "chunked") != std::string_view::npos;
      }
    }
    lineStart = next;
  }
  const std::string_view body = received.substr(bodyStart);
  reply->status = static_cast<int>(*status);
  if (chunked) {
    HttpReadState state = ReadChunked(body, &reply->body);
    if (state == HttpReadState::kNeedMore && closed) return HttpReadState::kBad;
    return state;
  }
  if (contentLength) {
    if (body.size() < *contentLength) return closed ? HttpReadState::kBad : HttpReadState::kNeedMore;
    reply->body = std::string(body.substr(0, *contentLength));
    return HttpReadState::kDone;
  }
  if (!closed) return HttpReadState::kNeedMore;
  reply->body = std::string(body);
  return HttpReadState::kDone;
}

std::string BuildHttpGet(const HttpUrl& url) {
  return sip::FormatWire(nat::kHttpGet, {url.path, url.HostPort()});
}

std::string BuildSoapRequest(const HttpUrl& control, std::string_view service, std::string_view action,
                             std::string_view arguments) {
  std::string body(nat::kSoapEnvelopeHead);
  sip::AppendWire(body, nat::kSoapAction, {action, service, arguments, action});
  body += nat::kSoapEnvelopeTail;
  return sip::FormatWire(nat::kSoapPost,
                         {control.path, control.HostPort(), static_cast<int>(body.size()), service, action, body});
}

std::string BuildAddPortMappingArguments(std::uint16_t externalPort, std::uint16_t internalPort,
                                         std::string_view internalClient) {
  return sip::FormatWire(nat::kAddPortMappingArguments,
                         {externalPort, nat::kUdp, internalPort, internalClient, nat::kUdp});
}

}  // namespace corvina::call
