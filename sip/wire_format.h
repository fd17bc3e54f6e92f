// A small printf-like writer for the fixed wire templates: "%s" takes text (any bytes, NUL
// included), "%d" a number, "%.2d" a number of at least two digits, "%%" a percent sign. A
// template that asks for more arguments than it gets writes nothing for the missing ones.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace corvina::sip {

class WireArg {
 public:
  WireArg(std::string_view text) : text_(text), isNumber_(false) {}  // NOLINT: implicit on purpose
  WireArg(const std::string& text) : text_(text), isNumber_(false) {}  // NOLINT
  WireArg(const char* text) : text_(text), isNumber_(false) {}  // NOLINT
  template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
  WireArg(T number) : number_(static_cast<std::int64_t>(number)), isNumber_(true) {}  // NOLINT

  std::string_view Text() const { return text_; }
  std::int64_t Number() const { return number_; }
  bool IsNumber() const { return isNumber_; }

 private:
  std::string_view text_;
  std::int64_t number_ = 0;
  bool isNumber_;
};

void AppendWire(std::string& out, std::string_view format, std::initializer_list<WireArg> args);

inline std::string FormatWire(std::string_view format, std::initializer_list<WireArg> args) {
  std::string out;
  AppendWire(out, format, args);
  return out;
}

}  // namespace corvina::sip
