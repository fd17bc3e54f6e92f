#include "sip/sip_uri.h"

namespace corvina::sip {
namespace {

// The port text after the host's colon, when it is a plain decimal number from 1 to 65535.
bool ReadPort(std::string_view text, std::uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

void SplitHostPort(std::string_view hostPart, SipUri& uri) {
  // A bracketed IPv6 reference keeps its colons; the port colon follows the bracket.
  std::size_t searchFrom = 0;
  if (!hostPart.empty() && hostPart.front() == '[') {
    std::size_t close = hostPart.find(']');
    searchFrom = close == std::string_view::npos ? hostPart.size() : close;
  }
  std::size_t colon = hostPart.find(':', searchFrom);
  if (colon == std::string_view::npos) {
    uri.host = std::string(hostPart);
    return;
  }
  uri.host = std::string(hostPart.substr(0, colon));
  uri.portGiven = ReadPort(hostPart.substr(colon + 1), uri.port);
  if (!uri.portGiven) uri.port = kDefaultSipPort;
}

// Parameters without a value are written as the bare name; headers always carry "=".
void AppendEncodedPairs(std::string& out, const ParamList& list, char first, char separator, bool alwaysValue) {
  bool isFirst = true;
  for (const ParamList::Entry& e : list.Entries()) {
    out.push_back(isFirst ? first : separator);
    isFirst = false;
    out += PercentEncode(e.name);
    if (!e.value.empty() || alwaysValue) {
      out.push_back('=');
      out += PercentEncode(e.value);
    }
  }
}

}  // namespace

SipUri ParseUri(std::string_view text) {
  SipUri uri;
  std::string_view hostPart;
  std::size_t at = text.find('@');
  if (at != std::string_view::npos) {
    std::string_view userPart = text.substr(0, at);
    hostPart = text.substr(at + 1);
    std::size_t colon = userPart.find(':');
    if (colon != std::string_view::npos) {
      uri.scheme = std::string(userPart.substr(0, colon));
      userPart = userPart.substr(colon + 1);
    }
    std::size_t pwColon = userPart.find(':');
    uri.user = std::string(userPart.substr(0, pwColon));
    if (pwColon != std::string_view::npos) uri.password = std::string(userPart.substr(pwColon + 1));
  } else {
    std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && colon < 5) {
      uri.scheme = std::string(text.substr(0, colon));
      hostPart = text.substr(colon + 1);
    } else {
      hostPart = text;
    }
  }

  std::size_t cut = hostPart.find_first_of(";?");
  std::string_view rest;
  if (cut != std::string_view::npos) {
    rest = hostPart.substr(cut);
    hostPart = hostPart.substr(0, cut);
  }
  SplitHostPort(hostPart, uri);

  std::size_t question = rest.find('?');
  std::string_view paramText = rest.substr(0, question);
  if (!paramText.empty()) ParsePairs(paramText.substr(1), ';', uri.params);
  if (question != std::string_view::npos) ParsePairs(rest.substr(question + 1), '&', uri.headers);
  return uri;
}

std::string FormatUri(const SipUri& uri) {
  std::string out;
  out.reserve(uri.scheme.size() + uri.user.size() + uri.host.size() + 32);
  out += uri.scheme;
  out.push_back(':');
  if (!uri.user.empty()) {
    out += uri.user;
    if (!uri.password.empty()) {
      out.push_back(':');
      out += uri.password;
    }
    out.push_back('@');
  }
  out += uri.host;
  if (uri.portGiven) {
    out.push_back(':');
    out += std::to_string(uri.port);
  }
  AppendEncodedPairs(out, uri.params, ';', ';', false);
  AppendEncodedPairs(out, uri.headers, '?', '&', true);
  return out;
}

}  // namespace corvina::sip
