// Dialled text as a call target: whether it may be dialled on a line, and the request URI it
// becomes with the line's server.
#pragma once

#include <string>
#include <string_view>

#include "platform/log_sink.h"

namespace corvina::call {

// Checks `target` for a line whose server is `server`, logging the refusal: empty text, a '<'
// without '>' (or the reverse), control characters, an address without a host ("<>"), or
// neither an '@' nor a server. True when the text may be dialled.
bool CheckDialTarget(std::string_view target, std::string_view server, platform::LogSink& log);

// The request URI of dialled text: text with '<' unchanged; otherwise spaces removed, "sip:"
// put in front unless the text already starts with a scheme, and "@server" added without '@',
// all in angle brackets.
std::string RequestUriFromText(std::string_view text, std::string_view server);

}  // namespace corvina::call
