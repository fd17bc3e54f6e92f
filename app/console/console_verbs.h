// The verbs of the console protocol. Each feature adds its verbs here with one Register call
// each (a verb taken twice is refused); the console's transport (console_phone.*) only feeds
// lines to the table and writes the answers and events.
//
//   verbs.Register("hold", "holds the call on LINE", [context](const CommandArgs& args) {
//     ...; context.events.Emit(ConsoleEvent("hold").ForLine(line).Add("on", true));
//     return CommandReply::Ok();
//   });
#pragma once

#include <functional>

#include "app/console/command_processor.h"
#include "app/console/console_event.h"
#include "app/controller/main_window.h"

namespace corvina::app {

// What the verbs work on; it outlives the table.
struct ConsoleVerbContext {
  MainWindow& window;
  ConsoleEventSink& events;
  std::function<void()> quit;  // ends the loop; the phone then stops cleanly
};

// Registers every verb: help [VERB], quit, status, and those the features add.
void RegisterConsoleVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context);

}  // namespace corvina::app
