#include "app/dial_arguments.h"

#include <algorithm>
#include <cctype>

#include "app/controller/dial_text.h"

namespace corvina::app {
namespace {

bool HasScheme(const std::string& arg, std::string_view scheme) {
  if (arg.size() < scheme.size()) return false;
  return std::equal(scheme.begin(), scheme.end(), arg.begin(), [](char a, char b) {
    return a == std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

DialArguments ParseDialArguments(const std::vector<std::string>& args) {
  DialArguments out;
  std::optional<std::string> text;
  int line = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--dial" || arg == "--line") {
      if (i + 1 >= args.size()) {
        out.error = arg + " needs a value";
        return out;
      }
      const std::string& value = args[++i];
      if (arg == "--dial") {
        text = value;
      } else if (value == "1" || value == "2") {
        line = value[0] - '0';
      } else {
        out.error = "--line takes 1 or 2, not \"" + value + "\"";
        return out;
      }
    } else if (HasScheme(arg, "sips:")) {
      out.error = "cannot dial \"" + arg + "\": secure (sips:) links need TLS, which this phone does not have";
      return out;
    } else if (HasScheme(arg, "sip:") || HasScheme(arg, "tel:")) {
      text = arg;
    } else {
      out.rest.push_back(arg);
    }
  }
  if (!text && line == 0) return out;
  platform::DialRequest request{CutToField(text.value_or("")), line};
  if (!platform::IsValidDialRequest(request)) {
    out.error = "the number to dial holds control characters";
    return out;
  }
  out.request = std::move(request);
  return out;
}

}  // namespace corvina::app
