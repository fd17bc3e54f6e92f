// Route sets: comma-separated lists of angle-bracketed route URIs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::sip {

// The longest route set a dialog keeps, in UTF-16 units.
inline constexpr std::size_t kMaxRouteSetUnits = 259;

// The entries of a comma-separated list; commas inside angle brackets or double quotes do not
// split. Entries are trimmed of white space; empty ones are left out.
std::vector<std::string_view> SplitRouteEntries(std::string_view list);

// Joins entries with commas, keeping whole entries from the front as long as the result stays
// within kMaxRouteSetUnits; the first entry that does not fit and all after it are dropped.
std::string JoinRouteEntries(const std::vector<std::string_view>& entries);

}  // namespace corvina::sip
