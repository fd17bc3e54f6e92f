// The console's address book: `contacts list|add|edit|delete|import|export`, driving the same
// flows as the address book window.
#pragma once

#include <functional>

#include "app/console/command_processor.h"
#include "app/console/console_event.h"
#include "app/progress/progress_sink.h"
#include "contacts/contact_store.h"
#include "platform/settings.h"

namespace corvina::app {

struct ContactVerbParts {
  std::function<contacts::ContactStore*()> store;  // null before the phone has started
  ConsoleEventSink& events;                        // messageBox and progress events
  platform::Settings& settings;                    // SaveFolder
  // The console's progress window: the import runs in it and `cancel` stops it.
  ProgressWindow& progress;
};

void RegisterContactVerbs(CommandProcessor& verbs, ContactVerbParts parts);

}  // namespace corvina::app
