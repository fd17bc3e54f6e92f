#include "app/console/command_line.h"

namespace corvina::app {

std::string_view TrimCommandSpace(std::string_view text) {
  while (!text.empty() && IsCommandSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsCommandSpace(text.back())) text.remove_suffix(1);
  return text;
}

TokenizedLine TokenizeArguments(std::string_view text) {
  TokenizedLine out;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
        word += text[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
      continue;
    }
    if (IsCommandSpace(c)) {
      if (inWord) out.words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '"') {
      quoted = true;
    } else {
      word += c;
    }
  }
  if (quoted) return TokenizedLine{false, "unterminated quote", {}};
  if (inWord) out.words.push_back(std::move(word));
  return out;
}

}  // namespace corvina::app
