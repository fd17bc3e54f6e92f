// A small writer for the one-line JSON objects of the console protocol.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvina::app {

// Quotes and escapes a UTF-8 string for JSON.
std::string JsonQuote(std::string_view text);

class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view value);
  JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, std::int64_t value);
  JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
  JsonObject& Add(std::string_view key, bool value);
  // Adds already-formed JSON (an object or an array).
  JsonObject& AddRaw(std::string_view key, std::string_view json);
  std::string Str() const { return "{" + body_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string body_;
};

}  // namespace corvina::app
