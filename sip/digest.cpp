#include "sip/digest.h"

#include <random>

#include "platform/text.h"
#include "sip/md5.h"
#include "sip/text_scan.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

bool IsNameStop(char c) { return c == '=' || c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t SkipWhite(std::string_view s, std::size_t p) {
  while (p < s.size() && IsWhiteOrControl(s[p])) ++p;
  return p;
}

// A value after "=": a quoted string (commas allowed inside, backslash escapes honoured) or a
// token up to white space or a comma. `p` is left at the comma that ends the pair, or the end.
std::string ReadValue(std::string_view s, std::size_t& p) {
  std::string value;
  if (p < s.size() && s[p] == '"') {
    ++p;
    while (p < s.size() && s[p] != '"') {
      if (s[p] == '\\' && p + 1 < s.size()) ++p;
      value.push_back(s[p++]);
    }
  } else {
    while (p < s.size() && s[p] != ',' && !IsWhiteOrControl(s[p])) value.push_back(s[p++]);
  }
  while (p < s.size() && s[p] != ',') ++p;
  return value;
}

}  // namespace

bool ParseDigestChallenge(std::string_view value, DigestChallenge& out) {
  out = DigestChallenge{};
  std::size_t p = SkipWhite(value, 0);
  std::size_t schemeStart = p;
  while (p < value.size() && !IsWhiteOrControl(value[p])) ++p;
  if (!platform::EqualsIgnoreCase(value.substr(schemeStart, p - schemeStart), wire::kDigestScheme)) return false;

  while (p < value.size()) {
    p = SkipWhite(value, p);
    std::size_t nameStart = p;
    while (p < value.size() && !IsNameStop(value[p])) ++p;
    std::string name = Limited(value.substr(nameStart, p - nameStart), platform::kMaxTextUnits);
    p = SkipWhite(value, p);
    std::string pairValue;
    if (p < value.size() && value[p] == '=') {
      p = SkipWhite(value, p + 1);
      pairValue = ReadValue(value, p);
    } else {
      while (p < value.size() && value[p] != ',') ++p;
    }
    if (p < value.size()) ++p;  // the comma
    if (!name.empty()) out.params.Add(std::move(name), std::move(pairValue));
  }
  out.realm = std::string(out.params.Find("realm"));
  out.nonce = std::string(out.params.Find("nonce"));
  out.opaque = std::string(out.params.Find("opaque"));
  out.stale = platform::EqualsIgnoreCase(out.params.Find("stale"), "true");
  // qop is a comma-separated list inside its quotes: "auth", "auth-int" or both.
  std::string_view qop = out.params.Find("qop");
  while (!qop.empty()) {
    std::size_t comma = qop.find(',');
    if (platform::EqualsIgnoreCase(TrimWhite(qop.substr(0, comma)), wire::kDigestQopAuth)) out.offersQopAuth = true;
    qop = comma == std::string_view::npos ? std::string_view{} : qop.substr(comma + 1);
  }
  return true;
}

std::string DigestAuthorization(const DigestChallenge& challenge, std::string_view method, std::string_view uri,
                                std::string_view user, std::string_view password, std::string_view cnonce) {
  std::string ha1 = Md5Hex(FormatWire(wire::kDigestHa1, {user, challenge.realm, password}));
  std::string ha2 = Md5Hex(FormatWire(wire::kDigestHa2, {method, uri}));
  if (!challenge.offersQopAuth) {
    std::string response = Md5Hex(FormatWire(wire::kDigestResponse, {ha1, challenge.nonce, ha2}));
    return FormatWire(wire::kDigestAuthorization,
                      {user, challenge.realm, challenge.nonce, uri, response, challenge.opaque});
  }
  std::string response = Md5Hex(FormatWire(
      wire::kDigestResponseWithQop,
      {ha1, challenge.nonce, wire::kDigestFirstNonceCount, cnonce, wire::kDigestQopAuth, ha2}));
  std::string value = FormatWire(wire::kDigestAuthorization,
                                 {user, challenge.realm, challenge.nonce, uri, response, challenge.opaque});
  AppendWire(value, wire::kDigestQopFields, {wire::kDigestFirstNonceCount, cnonce});
  return value;
}

std::string NewClientNonce() {
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kHex[] = "0123456789abcdef";
  std::uint64_t bits = generator();
  std::string out(16, '0');
  for (char& c : out) {
    c = kHex[bits & 15];
    bits >>= 4;
  }
  return out;
}

std::optional<DigestAnswer> AnswerChallenge(std::string_view challengeValue, std::string_view method,
                                            std::string_view uri, std::string_view user,
                                            std::string_view password, std::string_view cnonce) {
  return AnswerChallenges(std::span<const std::string_view>(&challengeValue, 1), method, uri, user, password, cnonce);
}

std::optional<DigestAnswer> AnswerChallenges(std::span<const std::string_view> challengeValues,
                                             std::string_view method, std::string_view uri, std::string_view user,
                                             std::string_view password, std::string_view cnonce) {
  for (std::string_view value : challengeValues) {
    DigestChallenge challenge;
    if (!ParseDigestChallenge(value, challenge)) continue;
    std::string_view algorithm = challenge.params.Find("algorithm");
    if (!algorithm.empty() && !platform::EqualsIgnoreCase(algorithm, wire::kDigestMd5)) continue;
    std::string fresh = challenge.offersQopAuth && cnonce.empty() ? NewClientNonce() : std::string(cnonce);
    return DigestAnswer{DigestAuthorization(challenge, method, uri, user, password, fresh), challenge.stale};
  }
  return std::nullopt;
}

}  // namespace corvina::sip
