// A SIP (or other scheme's) URI taken apart, and written back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sip/param_list.h"

namespace corvina::sip {

inline constexpr std::uint16_t kDefaultSipPort = 5060;

struct SipUri {
  std::string scheme = "sip";
  std::string user;
  std::string password;
  std::string host;
  std::uint16_t port = kDefaultSipPort;
  bool portGiven = false;  // the URI carried an explicit, valid port
  ParamList params;        // ";name=value" after the host, decoded
  ParamList headers;       // "?name=value&..." after the parameters, decoded
};

// Takes a URI apart: "scheme:user:password@host:port;params?headers". A missing scheme is
// "sip"; a port that is not a number from 1 to 65535 counts as no port.
SipUri ParseUri(std::string_view text);

// Writes the URI back; parameter and header names and values are percent-encoded.
std::string FormatUri(const SipUri& uri);

}  // namespace corvina::sip
