// A name-address: the value of From, To, Contact, Refer-To or one route entry.
#pragma once

#include <string>
#include <string_view>

#include "sip/param_list.h"

namespace corvina::sip {

struct NameAddr {
  std::string displayName;  // at most 259 UTF-16 units, quotes and escapes removed
  std::string uri;          // "sip:" put in front when the address has no colon
  ParamList params;         // the parameters after the address, decoded
};

// Reads `"Name" <uri;uri-params>;params`, `Name <uri>;params` or `uri;params`.
NameAddr ParseNameAddr(std::string_view text);

// The display name as an RFC 3261 quoted-string: surrounding double quotes, with every '"'
// and '\' escaped by a backslash and line breaks dropped, so that no name can end the quote
// or the header early.
std::string QuoteDisplayName(std::string_view name);

// "\"Name\" <uri>" with the name quoted as above, or "<uri>" when the name is empty.
std::string FormatNameAddr(std::string_view displayName, std::string_view uri);

}  // namespace corvina::sip
