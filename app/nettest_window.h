// The network setup tool for the main window: the tool runs on its worker thread while the
// user-interface thread keeps the view's progress window ("Networking Setup Wizard": a text, the
// bar and Cancel) going. The worker's texts, bar and closing message travel through a small
// queue to the user-interface thread; stopping and starting the SIP engine and the firewall
// question are posted to it through the window's postbox and answered there. Cancel (closing the
// progress window) sets the worker's stop event, which ends every wait of the tool at once.
#pragma once

#include <functional>

#include "app/controller/main_view.h"
#include "app/program_objects.h"
#include "app/progress/progress_sink.h"
#include "platform/ui_queue.h"

namespace corvina::app {

struct NetworkToolWindowParts {
  ProgramObjects& program;
  MainView& view;
  platform::PostOwner& posts;  // the window's postbox token
  bool engineRunning = false;  // when the tool starts
  std::function<void()> stopEngine;
  std::function<void()> startEngine;
};

// User-interface thread. kCancelled when the user closed the progress window or answered the
// question with Cancel; kFailed when the view has no progress window.
WaitResult RunNetworkToolInWindow(const NetworkToolWindowParts& parts);

}  // namespace corvina::app
