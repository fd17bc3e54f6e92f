// What the console's verbs work on: the window object behind the phone, the program-wide
// objects, where events go and how the loop ends. It outlives the verb table. Verbs that need
// the window include its header themselves; the rest (the SIP verbs) reach only what they use.
#pragma once

#include <functional>

#include "app/console/console_event.h"

namespace corvina::app {

class MainWindow;
class ProgressWindow;
struct ProgramObjects;

struct ConsoleVerbContext {
  MainWindow& window;
  ProgramObjects& program;
  ConsoleEventSink& events;
  std::function<void()> quit;  // ends the loop; the phone then stops cleanly
  ProgressWindow& progress;    // long operations' window (the console's)
};

}  // namespace corvina::app
