// The console's `mail send|recording`, the same sends as `corvina mail` and the window's, run in
// the console's progress window "Sending Email" so the loop keeps answering while they go.
#pragma once

#include "app/console/command_processor.h"
#include "app/console/console_verb_context.h"

namespace corvina::app {

void RegisterMailVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context);

}  // namespace corvina::app
