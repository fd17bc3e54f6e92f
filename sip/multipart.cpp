#include "sip/multipart.h"

#include "platform/text.h"
#include "sip/text_scan.h"

namespace corvina::sip {
namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Consumes one line end (CR LF, LF CR, CR or LF) at `p`, staying below `end`.
std::size_t SkipLineEnd(std::string_view s, std::size_t p, std::size_t end) {
  if (p >= end || !IsLineEnd(s[p])) return p;
  char first = s[p++];
  if (p < end && IsLineEnd(s[p]) && s[p] != first) ++p;
  return p;
}

std::size_t ScanWhile(std::string_view s, std::size_t p, std::size_t end, std::string_view set, bool inSet) {
  while (p < end && (set.find(s[p]) != std::string_view::npos) == inSet) ++p;
  return p;
}

}  // namespace

std::string FindMultipartBoundary(std::string_view params) {
  const std::size_t end = params.size();
  std::size_t p = 0;
  while (p < end) {
    p = ScanWhile(params, p, end, "&; ", true);
    std::size_t nameStart = p;
    p = ScanWhile(params, p, end, " =&;", false);
    std::string_view name = params.substr(nameStart, p - nameStart);
    p = ScanWhile(params, p, end, " =", true);
    std::size_t valueStart = p;
    if (p < end && params[p] == '"') {
      // A quoted boundary may hold the separators; it runs to the closing quote.
      std::size_t close = params.find('"', p + 1);
      p = close == std::string_view::npos ? end : close + 1;
    } else {
      p = ScanWhile(params, p, end, "&; ", false);
    }
    std::string_view value = params.substr(valueStart, p - valueStart);
    if (platform::EqualsIgnoreCase(name, "boundary")) {
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      else if (!value.empty() && value.front() == '"') value.remove_prefix(1);
      return std::string(value);
    }
    if (name.empty() && p == valueStart) ++p;  // a lone separator such as "\t": move on
  }
  return {};
}

void SplitMultipart(std::string_view content, std::string_view boundary, std::vector<SipBodyPart>& out) {
  const std::string delimiter = "\r\n--" + std::string(boundary);
  // The first delimiter may open the content without the line end in front of it.
  std::size_t cur;
  std::size_t curLength;
  if (content.substr(0, delimiter.size() - 2) == std::string_view(delimiter).substr(2)) {
    cur = 0;
    curLength = delimiter.size() - 2;
  } else {
    cur = content.find(delimiter);
    curLength = delimiter.size();
  }
  while (cur != std::string_view::npos) {
    std::size_t after = cur + curLength;
    if (after >= content.size() || content[after] == '-') return;  // closing delimiter
    std::size_t next = content.find(delimiter, after);
    const std::size_t partEnd = next == std::string_view::npos ? content.size() : next;

    std::size_t p = ScanWhile(content, after, partEnd, " \t", true);
    p = SkipLineEnd(content, p, partEnd);
    std::string_view type;
    while (p < partEnd) {
      std::size_t nameStart = p;
      p = ScanWhile(content, p, partEnd, " \r\n:", false);
      std::string_view name = content.substr(nameStart, p - nameStart);
      if (name.empty()) break;
      p = ScanWhile(content, p, partEnd, " :", true);
      std::size_t valueStart = p;
      p = ScanWhile(content, p, partEnd, "; \r\n", false);
      std::string_view value = content.substr(valueStart, p - valueStart);
      if (platform::EqualsIgnoreCase(name, "Content-Type") || platform::EqualsIgnoreCase(name, "c")) type = value;
      p = ScanWhile(content, p, partEnd, "\r\n", false);
      p = SkipLineEnd(content, p, partEnd);
    }
    p = SkipLineEnd(content, p, partEnd);
    if (!type.empty()) {
      out.push_back({Limited(type, platform::kMaxTextUnits), std::string(content.substr(p, partEnd - p))});
    }
    cur = next;
    curLength = delimiter.size();
  }
}

}  // namespace corvina::sip
