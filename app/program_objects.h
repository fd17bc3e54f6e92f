// The program-wide objects, constructed before the main window in a fixed order and destroyed
// in the reverse order (C++ member order gives both). Later subsystems (profile files, SIP
// engine, call terminator, SIP trace) take their places in this list as they are built.
#pragma once

#include <ctime>
#include <string>

#include "app/activity_log.h"
#include "media/audio_devices.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/portaudio_system.h"
#include "platform/settings.h"
#include "platform/sqlite_settings_store.h"
#include "platform/startup_lock.h"
#include "platform/worker_thread.h"

namespace corvina::app {

struct ProgramObjects {
  explicit ProgramObjects(const platform::PhonePaths& phonePaths);

  platform::PhonePaths paths;
  // The store stands in for the system registry, so it exists before everything else.
  platform::SqliteSettingsStore store;
  platform::Settings settings;
  platform::SystemWallClock wallClock;
  platform::SystemTickClock tickClock;
  platform::SystemMediaClock mediaClock;
  ActivityLog activityLog;
  std::time_t startTime;
  // The sound cards and the devices by stored name (the silent and file devices besides).
  platform::PortAudioSystem soundCards;
  media::AudioDevices audioDevices{soundCards, activityLog};
  platform::WorkerRegistry workers;
  platform::StartupLock startupLock;
};

}  // namespace corvina::app
