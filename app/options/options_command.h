// The text form of the option pages, shared by `corvina options` and the console's `options`
// verb:
//   show PAGE [--line default|1|2]                 the page's values as JSON (passwords masked)
//   set PAGE [--line default|1|2] KEY=VALUE ...     load, change, confirm
// PAGE is one of audio, lines, advanced, net1, net2, record, hold, email, or a wizard page that holds
// settings: mode, microphone, output, sipdetails. Without --line the lines
// pages open the entry the dialog would open.
#pragma once

#include <string>
#include <vector>

#include "app/options/options_page.h"

namespace corvina::app {

struct OptionsCommandResult {
  enum class Kind { kShown, kDone, kRefused, kBadArguments };
  Kind kind = Kind::kBadArguments;
  // kShown: the page's JSON; kRefused: {"title":..,"text":..,"field":..}; kBadArguments: why.
  std::string text;
};

// `refusal`, when given, receives the refusal's box.
OptionsCommandResult RunOptionsCommand(const std::vector<std::string>& args, platform::Settings& settings,
                                       OptionsEnvironment& env, std::optional<OptionsMessage>* refusal = nullptr);

// {"title":..,"text":..} and, with `field`, its "field".
std::string OptionsMessageJson(const OptionsMessage& message, bool withField);

inline constexpr const char* kOptionsUsage =
    "options show PAGE [--line default|1|2] | options set PAGE [--line default|1|2] KEY=VALUE ...";

}  // namespace corvina::app
