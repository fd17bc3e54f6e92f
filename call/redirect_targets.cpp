#include "call/redirect_targets.h"

#include <cstdlib>

#include "sip/name_addr.h"

namespace corvina::call {

std::vector<std::string_view> SplitContactValue(std::string_view value) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  bool bracketed = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted) {
      if (c == '\\') ++i;
      else if (c == '"') quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == '<') {
      bracketed = true;
    } else if (c == '>') {
      bracketed = false;
    } else if (c == ',' && !bracketed) {
      parts.push_back(value.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(value.substr(std::min(start, value.size())));
  return parts;
}

RedirectTargets::RedirectTargets(std::string_view firstUri) { tried_.push_back(sip::ParseNameAddr(firstUri).uri); }

bool RedirectTargets::Known(std::string_view uri) const {
  for (const auto& t : tried_) {
    if (t == uri) return true;
  }
  for (const auto& t : queue_) {
    if (t.uri == uri) return true;
  }
  return false;
}

namespace {

// The q parameter after the closing bracket (or anywhere in a bare address), 0.5 when absent.
double QOf(std::string_view part) {
  const auto close = part.rfind('>');
  std::string_view params = close == std::string_view::npos ? part : part.substr(close + 1);
  for (std::size_t pos = params.find(';'); pos != std::string_view::npos; pos = params.find(';', pos + 1)) {
    std::string_view p = params.substr(pos + 1);
    while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
    if (p.size() > 2 && (p[0] == 'q' || p[0] == 'Q') && p[1] == '=') {
      std::string number(p.substr(2, p.find(';') == std::string_view::npos ? std::string_view::npos : p.find(';') - 2));
      char* end = nullptr;
      const double q = std::strtod(number.c_str(), &end);
      if (end != number.c_str()) return q;
    }
  }
  return 0.5;
}

}  // namespace

void RedirectTargets::AddContactValue(std::string_view value) {
  for (std::string_view part : SplitContactValue(value)) {
    while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) part.remove_prefix(1);
    while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
    if (part.empty() || part.size() > kMaxContactPart || accepted_ >= kMaxRedirectTargets) continue;
    std::string_view address = part;
    if (part.find('<') == std::string_view::npos) address = part.substr(0, part.find(';'));
    const std::string uri = sip::ParseNameAddr(address).uri;
    if (uri.empty() || (uri.find('@') == std::string::npos && uri.find('.') == std::string::npos)) continue;
    if (Known(uri)) continue;
    Target t{uri, QOf(part)};
    auto it = queue_.begin();
    while (it != queue_.end() && it->q >= t.q) ++it;
    queue_.insert(it, std::move(t));
    ++accepted_;
  }
}

std::string RedirectTargets::TakeNext() {
  Target t = std::move(queue_.front());
  queue_.pop_front();
  tried_.push_back(t.uri);
  return "<" + t.uri + ">";
}

}  // namespace corvina::call
