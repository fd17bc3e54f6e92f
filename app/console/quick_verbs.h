// The console's quick lists: `quick`, `autointercom`, `hotkeys` and `hotkey`, driving the same
// list rules, Transfer pop-up and hotkey registration as the windows.
#pragma once

#include "app/console/command_processor.h"
#include "app/console/console_verb_context.h"

namespace corvina::app {

void RegisterQuickVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context);

}  // namespace corvina::app
