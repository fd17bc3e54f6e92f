#include "app/program_objects.h"

namespace corvina::app {

ProgramObjects::ProgramObjects(const platform::PhonePaths& phonePaths)
    : paths(phonePaths),
      store(paths.registryFile),
      settings(store),
      activityLog(paths.DataFolder(), wallClock),
      startTime(wallClock.Now()),
      startupLock(paths.runtimeFolder) {}

}  // namespace corvina::app
