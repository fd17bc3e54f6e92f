// The verbs of the console protocol. Each feature adds its verbs here with one Register call
// each (a verb taken twice is refused); the console's transport (console_phone.*) only feeds
// lines to the table and writes the answers and events.
//
//   verbs.Register("hold", "holds the call on LINE", [context](const CommandArgs& args) {
//     ...; context.events.Emit(ConsoleEvent("hold").ForLine(line).Add("held", true));
//     return CommandReply::Ok();
//   });
#pragma once

#include "app/console/command_processor.h"
#include "app/console/console_verb_context.h"

namespace corvina::app {

// Registers every verb: help [VERB], quit, status, and those the features add.
void RegisterConsoleVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context);

}  // namespace corvina::app
