#include "sip/wire_format.h"

namespace corvina::sip {
namespace {

void AppendNumber(std::string& out, std::int64_t value, std::size_t minDigits) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (value < 0) out.push_back('-');
  if (digits.size() < minDigits) out.append(minDigits - digits.size(), '0');
  out += digits;
}

}  // namespace

void AppendWire(std::string& out, std::string_view format, std::initializer_list<WireArg> args) {
  const WireArg* next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out.push_back(c);
      continue;
    }
    std::size_t minDigits = 0;
    std::size_t j = i + 1;
    if (format.substr(j, 2) == ".2") {
      minDigits = 2;
      j += 2;
    }
    if (j >= format.size()) {
      out.append(format.substr(i));
      return;
    }
    char conversion = format[j];
    if (conversion == '%') {
      out.push_back('%');
    } else if (conversion == 's' || conversion == 'd') {
      if (next != args.end()) {
        if (next->IsNumber()) AppendNumber(out, next->Number(), minDigits);
        else out.append(next->Text());
        ++next;
      }
    } else {
      out.append(format.substr(i, j - i + 1));
    }
    i = j;
  }
}

}  // namespace corvina::sip
