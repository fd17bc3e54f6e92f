// The intercom allow list: which callers' intercom calls are answered automatically. Section
// `Intercom`: `AllowAll` (switch, true when absent) and `Allow`, a comma-separated list of
// address fragments, each optionally in double quotes, blanks around items ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace corvina::app {

// The items of an `Allow` value, each cut to 259 characters. Empty items (two commas in a
// row, a trailing comma, "") are left out: an empty fragment would match every caller.
std::vector<std::string> SplitAllowList(std::string_view allow);

// True when intercom calls are allowed from everyone, or when an item of the list occurs in
// `callerAddress` (case-sensitive). With `AllowAll` off and no items, nobody is allowed.
bool IsIntercomAllowed(const platform::Settings& settings, std::string_view callerAddress);

}  // namespace corvina::app
