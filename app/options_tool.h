// `corvina options ...`: the option pages from the command line, with the rules of the window.
//   options show PAGE [--line default|1|2]               the page as JSON (passwords masked)
//   options set PAGE [--line default|1|2] KEY=VALUE ...   prints "ok", or "refused {...}"
// Any other box the page shows (a failed link test) is printed first as "note {...}". After a
// confirmed set, `applied` asks a phone running on the same home to apply the settings.
// Exit codes: 0 done, 2 bad arguments, 3 refused.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/options/options_page.h"

namespace corvina::app {

int RunOptionsTool(const std::vector<std::string>& args, platform::Settings& settings, OptionsEnvironment& env,
                   const std::function<void()>& applied, std::ostream& out, std::ostream& err);

}  // namespace corvina::app
