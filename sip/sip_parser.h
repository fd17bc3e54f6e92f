// Turns the text of one received datagram into a SipMessage. The parser is tolerant: it keeps
// what fits, cuts over-long start-line fields on a character boundary, and fails only when the
// start line is unusable. It never reads past the end of `text`.
#pragma once

#include <cstddef>
#include <string_view>

#include "sip/sip_message.h"

namespace corvina::sip {

// Parses from `position` on and leaves `position` after the consumed text. Returns true when a
// request or response start line was found; headers and bodies are then filled. Headers and
// bodies already in `message` are replaced.
bool ParseMessage(std::string_view text, std::size_t& position, SipMessage& message);

inline bool ParseMessage(std::string_view text, SipMessage& message) {
  std::size_t position = 0;
  return ParseMessage(text, position, message);
}

}  // namespace corvina::sip
