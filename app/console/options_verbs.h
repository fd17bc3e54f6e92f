// The console's `options` verb: `options show PAGE [--line ...]` answers "ok" with the page's
// JSON; `options set PAGE [--line ...] KEY=VALUE ...` confirms the page and applies the
// settings ("ok"), or answers "error: refused {...}". Every box the page shows, the refusal
// included, is also a `messageBox` event; link tests run in the console's progress window.
#pragma once

#include "app/console/command_processor.h"
#include "app/console/console_verb_context.h"

namespace corvina::app {

void RegisterOptionsVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context);

}  // namespace corvina::app
