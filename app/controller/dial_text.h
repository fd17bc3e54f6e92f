// Texts the dial box and the recent calls deal in: the number a dial-box text dials, the entry
// a received call leaves, and the 259-character cut of every stored or shown text.
#pragma once

#include <string>
#include <string_view>

namespace corvina::app {

// `text` cut to 259 characters on a character boundary.
std::string CutToField(std::string_view text);

// `text` without leading and trailing blanks.
std::string_view TrimBlanks(std::string_view text);

// The number that dialling `text` calls. A text holding "<" dials what follows the last "<" up
// to the next ">" (or the end), so that list entries "name <address>" dial their address even
// when the name itself holds "<"; any other text is dialled whole. Cut to 259 characters and
// stripped of leading and trailing blanks; empty means there is nothing to dial.
std::string DialNumberFromText(std::string_view text);

// The recent-call entry of a received call: " name <address>", cut to 259 characters.
std::string ReceivedCallText(std::string_view displayName, std::string_view address);

}  // namespace corvina::app
