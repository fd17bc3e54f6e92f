#include "app/controller/dial_text.h"

#include "app/controller/phone_texts.h"
#include "platform/text.h"

namespace corvina::app {

std::string CutToField(std::string_view text) {
  return std::string(platform::CutToUtf16Units(text, platform::kMaxTextUnits));
}

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string DialNumberFromText(std::string_view text) {
  std::string_view number = text;
  std::size_t open = text.rfind('<');
  if (open != std::string_view::npos) {
    number = text.substr(open + 1);
    std::size_t close = number.find('>');
    if (close != std::string_view::npos) number = number.substr(0, close);
  }
  return std::string(TrimBlanks(platform::CutToUtf16Units(number, platform::kMaxTextUnits)));
}

std::string ReceivedCallText(std::string_view displayName, std::string_view address) {
  return CutToField(platform::FormatText(texts::kReceivedCallEntry, std::string(displayName).c_str(),
                                         std::string(address).c_str()));
}

}  // namespace corvina::app
