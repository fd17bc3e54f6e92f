// Name/value pairs of URIs, name-addresses and challenges, and the percent-encoding used when
// such values are written back into a URI.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvina::sip {

// Pairs in order of appearance; a value may be empty. Lookup is exact (case-sensitive).
class ParamList {
 public:
  struct Entry {
    std::string name;
    std::string value;
  };

  void Add(std::string name, std::string value) { entries_.push_back({std::move(name), std::move(value)}); }
  // The value of the first pair called `name`, or `fallback` when there is none.
  std::string_view Find(std::string_view name, std::string_view fallback = {}) const;
  bool Has(std::string_view name) const;
  // Removes every pair called `name`.
  void Remove(std::string_view name);

  const std::vector<Entry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }
  std::size_t Size() const { return entries_.size(); }

 private:
  std::vector<Entry> entries_;
};

// Replaces every "%XY" (two hexadecimal digits) by the byte it names; a "%" that is not
// followed by two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);

// Letters, digits and "-_.!~" stay; every other byte becomes "%" and two upper-case
// hexadecimal digits.
std::string PercentEncode(std::string_view text);

// Reads pairs "name=value" or "name", split at `separator` (";" for parameters, "&" for URI
// headers), from `text`, which starts after the first separator. Names and values are trimmed
// of white space and percent-decoded; a pair with an empty name is not stored.
void ParsePairs(std::string_view text, char separator, ParamList& out);

}  // namespace corvina::sip
