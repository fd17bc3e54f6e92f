// The call verbs of the console: dial, answer, hangup and line.
#pragma once

#include "app/console_verbs.h"

namespace corvina::app {

void RegisterCallVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context);

}  // namespace corvina::app
