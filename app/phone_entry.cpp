#include "app/phone_entry.h"

#include <string>

#include "platform/instance_channel.h"
#include "platform/product.h"

namespace corvina::app {
namespace {

// A number handed over by a start of the program (this one's arguments or a later start's).
void DialFromOutside(MainWindow& window, const platform::DialRequest& request) {
  if (PhoneController* phone = window.Phone()) phone->DialFromOutside(request.text, request.line);
}

}  // namespace

int RunPhone(ProgramObjects& program, PhoneFrontend& frontend, const std::optional<platform::DialRequest>& dial) {
  // A time-out is not an error: start-up goes on without the lock.
  program.startupLock.Acquire(platform::StartupLock::kStartupBudgetMs);
  if (dial) {
    switch (platform::HandDialToRunningInstance(program.paths.runtimeFolder, *dial, kHandOverTimeoutMs)) {
      case platform::HandOverResult::kTaken: return 0;
      case platform::HandOverResult::kRefused: return 1;
      case platform::HandOverResult::kNoInstance: break;
    }
  } else if (platform::HandOverToRunningInstance(program.paths.runtimeFolder, kHandOverTimeoutMs)) {
    return 0;
  }

  frontend.AttachPostbox(program.postbox);
  int code = frontend.CreateFailureCode();
  {
    MainWindow window(program, frontend.View());
    if (frontend.CreateWindow(window)) {
      auto onHotkey = [&window](int id) { window.Posts().Post([&window, id] { window.OnHotkey(id); }); };
      platform::InstanceServer instance(program.paths.runtimeFolder, std::string(platform::kProductName), onHotkey);
      instance.SetDialHandler([&window](const platform::DialRequest& request) {
        window.Posts().Post([&window, request] { DialFromOutside(window, request); });
      });
      instance.SetApplyHandler([&window, &program] {
        window.Posts().Post([&window, &program] {
          program.store.Refresh();  // the writer committed just before it asked
          program.sipEngine.SetTraceOn(program.settings.GetSettingBool("Settings", "SipTraceOn", false));
          if (PhoneController* phone = window.Phone()) phone->ApplySettings();
        });
      });
      window.Initialise();
      // The phone starts the SIP engine (at once, or after the first-run step).
      window.StartPhone(frontend.Timers(), frontend.Observer());
      if (dial) window.Posts().Post([&window, request = *dial] { DialFromOutside(window, request); });
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
