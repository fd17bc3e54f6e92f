// The end of every composed message: the Content-Length (in bytes of the UTF-8 body) and the
// body, or the zero length and the empty line.
#pragma once

#include <string>
#include <string_view>

namespace corvina::sip {

// Appends "Content-Length: 0" and the empty line when `type` or `body` is empty; otherwise
// Content-Type, the byte length of `body`, the empty line and `body`.
void AppendBody(std::string& out, std::string_view type, std::string_view body);

}  // namespace corvina::sip
