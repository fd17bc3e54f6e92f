#include "app/console/contact_json.h"

#include "app/console/json_writer.h"
#include "platform/text.h"

namespace corvina::app {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool Take(char c) {
    Space();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    Space();
    return i_ == s_.size();
  }
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (i_ < s_.size()) {
      char c = s_[i_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return std::nullopt;
      char e = s_[i_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::optional<char32_t> u = Hex4();
          if (!u) return std::nullopt;
          char32_t c32 = *u;
          if (c32 >= 0xD800 && c32 < 0xDC00 && s_.substr(i_, 2) == "\\u") {
            i_ += 2;
            std::optional<char32_t> low = Hex4();
            if (!low || *low < 0xDC00 || *low >= 0xE000) return std::nullopt;
            c32 = 0x10000 + ((c32 - 0xD800) << 10) + (*low - 0xDC00);
          } else if (c32 >= 0xD800 && c32 < 0xE000) {
            c32 = 0xFFFD;
          }
          platform::AppendUtf8(out, c32);
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;
  }

 private:
  std::optional<char32_t> Hex4() {
    if (i_ + 4 > s_.size()) return std::nullopt;
    char32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[i_++];
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<char32_t>(d);
    }
    return v;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

std::optional<contacts::Contact> ParseContactJson(std::string_view json, std::string& error) {
  error = "usage: a contact is {\"firstname\":…,\"lastname\":…,\"phone\":…,\"email\":…}";
  Reader r(json);
  contacts::Contact c;
  if (!r.Take('{')) return std::nullopt;
  if (!r.Take('}')) {
    do {
      std::optional<std::string> key = r.String();
      if (!key || !r.Take(':')) return std::nullopt;
      std::optional<std::string> value = r.String();
      if (!value) return std::nullopt;
      if (*key == "firstname") c.firstName = *value;
      else if (*key == "lastname") c.lastName = *value;
      else if (*key == "phone") c.phone = *value;
      else if (*key == "email") c.email = *value;
      else return std::nullopt;
    } while (r.Take(','));
    if (!r.Take('}')) return std::nullopt;
  }
  if (!r.AtEnd()) return std::nullopt;
  error.clear();
  return c;
}

std::string ContactJson(const contacts::Contact& c, long id) {
  return JsonObject()
      .Add("id", static_cast<std::int64_t>(id))
      .Add("firstname", c.firstName)
      .Add("lastname", c.lastName)
      .Add("phone", c.phone)
      .Add("email", c.email)
      .Str();
}

}  // namespace corvina::app
