// The console protocol's one tokenizer. Words are separated by spaces or tabs; a double-quoted
// part keeps its spaces, and inside it \" stands for a quote and \\ for a backslash (a
// backslash before anything else, and every backslash outside quotes, is an ordinary
// character, so addresses and paths need no escaping). "" is an empty word.
//   dial "Zoë Keller" sip:200@127.0.0.1   ->  [Zoë Keller] [sip:200@127.0.0.1]
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvina::app {

struct TokenizedLine {
  bool ok = true;
  std::string error;  // why the line could not be split (an unterminated quote)
  std::vector<std::string> words;
};

TokenizedLine TokenizeArguments(std::string_view text);

// White space between words (CR too, for clients that end lines with CR LF).
inline bool IsCommandSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }
std::string_view TrimCommandSpace(std::string_view text);

}  // namespace corvina::app
