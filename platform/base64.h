// Base64 (RFC 4648, standard alphabet, with padding), for SMTP authentication and MIME
// attachments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvina::platform {

std::string Base64Encode(std::string_view bytes);

// Decodes; white space (CR, LF, space, tab) is skipped. Nothing when the text holds another
// character, a misplaced padding sign, or a length that is not a whole number of groups.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace corvina::platform
