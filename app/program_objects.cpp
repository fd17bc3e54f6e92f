#include "app/program_objects.h"

#include <unistd.h>

#include "call/nat_texts.h"

namespace corvina::app {

ProgramObjects::ProgramObjects(const platform::PhonePaths& phonePaths)
    : paths(phonePaths),
      store(paths.registryFile),
      settings(store),
      activityLog(paths.DataFolder(), wallClock),
      startTime(wallClock.Now()),
      nat(settings, activityLog, resolver, tickClock),
      sipEngine(sip::SipEngine::Services{resolver, activityLog, tickClock, wallClock, settings, nat,
                                         activityLog.Folder(), static_cast<int>(getpid())}),
      dialogs([this](int timeoutMs) { return sipEngine.WaitReady(timeoutMs); }),
      callTerminator(dialogs, tickClock),
      startupLock(paths.runtimeFolder) {
  sipEngine.SetRouter(&dialogs);
  sipEngine.SetTerminator(&callTerminator);
  // Keep-alives go to the STUN server that NAT traversal chose last.
  sipEngine.SetStunServer([this] {
    const bool second = nat.StunServerSettingName() == call::nat::kStunServer2;
    return settings.GetSettingString(call::nat::kSection, second ? call::nat::kStunServer2 : call::nat::kStunServer1,
                                     second ? call::nat::kDefaultStunServer2 : call::nat::kDefaultStunServer1);
  });
}

}  // namespace corvina::app
