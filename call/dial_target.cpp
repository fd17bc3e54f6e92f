#include "call/dial_target.h"

#include <algorithm>

#include "call/call_texts.h"

namespace corvina::call {

namespace {

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

// "<>" or "<sip:>"-like text: angle brackets around nothing that names a host.
bool LacksHost(std::string_view text) {
  const auto open = text.find('<');
  if (open == std::string_view::npos) return false;
  const auto close = text.find('>', open);
  if (close == std::string_view::npos) return true;
  std::string_view inside = text.substr(open + 1, close - open - 1);
  const auto colon = inside.find(':');
  if (colon != std::string_view::npos) inside.remove_prefix(colon + 1);
  const auto at = inside.find('@');
  if (at != std::string_view::npos) inside.remove_prefix(at + 1);
  return inside.empty();
}

}  // namespace

bool CheckDialTarget(std::string_view target, std::string_view server, platform::LogSink& log) {
  const bool open = target.find('<') != std::string_view::npos;
  const bool close = target.find('>') != std::string_view::npos;
  if (target.empty() || open != close || HasControlCharacter(target) || LacksHost(target)) {
    log.Log(std::string(texts::kInvalidAddress) + std::string(target), platform::kLogError);
    return false;
  }
  if (server.empty() && target.find('@') == std::string_view::npos) {
    log.Log(std::string(texts::kNoServer) + std::string(target), platform::kLogError);
    log.Log(texts::kYouMustEither, platform::kLogError);
    log.Log(texts::kServerExample, platform::kLogError);
    log.Log(texts::kSpecifyServer, platform::kLogError);
    return false;
  }
  return true;
}

std::string RequestUriFromText(std::string_view text, std::string_view server) {
  if (text.find('<') != std::string_view::npos) return std::string(text);
  std::string plain;
  for (char c : text) {
    if (c != ' ') plain += c;
  }
  const auto colon = plain.find(':');
  const auto at = plain.find('@');
  const bool hasScheme = colon != std::string::npos && (at == std::string::npos || colon < at);
  const std::string prefix = hasScheme ? "" : "sip:";
  if (at != std::string::npos) return "<" + prefix + plain + ">";
  return "<" + prefix + plain + "@" + std::string(server) + ">";
}

}  // namespace corvina::call
