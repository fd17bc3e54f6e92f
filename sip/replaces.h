// The Replaces header value, "call-id;to-tag=...;from-tag=...", that names the dialog an INVITE
// takes over. It arrives plain in an INVITE or escaped when it came out of a Refer-To URI's
// headers; both forms read the same, so the engine and the call agree on which dialog it names.
#pragma once

#include <string>
#include <string_view>

#include "sip/dialog.h"

namespace corvina::sip {

struct ReplacesValue {
  std::string callId;  // up to the first space or ';'
  std::string toTag;
  std::string fromTag;
  bool hasToTag = false;
  bool hasFromTag = false;
};

// Reads `value`, percent-decoded first; parameter names compare without case.
ReplacesValue ParseReplaces(std::string_view value);

// True when `replaces` names `dialog`: same Call-ID, to-tag equal to its local tag and from-tag
// equal to its remote tag (both present). The value is read as given and, failing that,
// percent-decoded.
bool ReplacesNames(std::string_view replaces, const Dialog& dialog);

}  // namespace corvina::sip
