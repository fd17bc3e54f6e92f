#include "app/phone_entry.h"

#include "platform/instance_channel.h"

namespace corvina::app {

int RunPhone(ProgramObjects& program, PhoneFrontend& frontend) {
  // A time-out is not an error: start-up goes on without the lock.
  program.startupLock.Acquire(platform::StartupLock::kStartupBudgetMs);
  if (platform::HandOverToRunningInstance(program.paths.runtimeFolder, kHandOverTimeoutMs)) return 0;

  MainWindow window(program, frontend.View(), frontend.Queue());
  if (!frontend.CreateWindow(window)) return frontend.CreateFailureCode();
  platform::InstanceServer instance(program.paths.runtimeFolder, kWindowTitle, [&frontend, &window](int id) {
    frontend.Queue().Post([&window, id] { window.OnHotkey(id); });
  });
  window.Initialise();
  window.StartSip();
  if (!instance.Listen()) {
    program.activityLog.Log("Cannot listen for a second start in " + program.paths.runtimeFolder, platform::kLogError);
  }
  program.startupLock.Release();
  int code = frontend.RunLoop();
  instance.StopAndJoin();
  frontend.DestroyWindow();
  return code;
}

}  // namespace corvina::app
