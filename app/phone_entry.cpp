#include "app/phone_entry.h"

#include <string>

#include "platform/instance_channel.h"
#include "platform/product.h"

namespace corvina::app {

int RunPhone(ProgramObjects& program, PhoneFrontend& frontend) {
  // A time-out is not an error: start-up goes on without the lock.
  program.startupLock.Acquire(platform::StartupLock::kStartupBudgetMs);
  if (platform::HandOverToRunningInstance(program.paths.runtimeFolder, kHandOverTimeoutMs)) return 0;

  frontend.AttachPostbox(program.postbox);
  int code = frontend.CreateFailureCode();
  {
    MainWindow window(program, frontend.View());
    if (frontend.CreateWindow(window)) {
      auto onHotkey = [&window](int id) { window.Posts().Post([&window, id] { window.OnHotkey(id); }); };
      platform::InstanceServer instance(program.paths.runtimeFolder, std::string(platform::kProductName), onHotkey);
      window.Initialise();
      // The phone starts the SIP engine (at once, or after the first-run step).
      window.StartPhone(frontend.Timers(), frontend.Observer());
      if (!instance.Listen()) {
        program.activityLog.Log("Cannot listen for a second start in " + program.paths.runtimeFolder,
                                platform::kLogError);
      }
      program.startupLock.Release();
      code = frontend.RunLoop();
      window.StopPhone();
      instance.StopAndJoin();
      window.EndCalls();  // a call still up sends its BYE while the engine runs
      program.StopWorkers();
      frontend.DestroyWindow();
    }
  }
  frontend.DetachPostbox();
  return code;
}

}  // namespace corvina::app
