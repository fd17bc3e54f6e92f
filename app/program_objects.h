// The program-wide objects, constructed before the main window in a fixed order and destroyed
// in the reverse order (C++ member order gives both). Later subsystems (profile files) take
// their places in this list as they are built.
//
// The user-interface postbox comes first, so it outlives every worker that posts to it; the
// loops attach to it while they run. StopWorkers() stops every worker, the SIP engine first,
// before any loop or toolkit object is torn down.
#pragma once

#include <ctime>
#include <string>

#include "app/logs/activity_log.h"
#include "media/audio_devices.h"
#include "call/nat_traversal.h"
#include "platform/clock.h"
#include "platform/name_resolver.h"
#include "platform/paths.h"
#include "platform/portaudio_system.h"
#include "platform/settings.h"
#include "platform/sqlite_settings_store.h"
#include "platform/startup_lock.h"
#include "platform/ui_postbox.h"
#include "platform/worker_thread.h"
#include "sip/bridge_list.h"
#include "sip/call_terminator.h"
#include "sip/dialog_list.h"
#include "sip/sip_engine.h"

namespace corvina::app {

struct ProgramObjects {
  explicit ProgramObjects(const platform::PhonePaths& phonePaths);
  ~ProgramObjects() { StopWorkers(); }
  ProgramObjects(const ProgramObjects&) = delete;
  ProgramObjects& operator=(const ProgramObjects&) = delete;

  // Stops and waits for every worker; called when the loop has ended, before the window and
  // the loop go. The bridges go first, while the engine still sends: each hands its two
  // dialogs to the call terminator, which sends their BYEs. The SIP engine goes next (it
  // unregisters, waits for the terminator to finish and stops it), so nothing uses the dialog
  // list or the terminator once they are destroyed.
  void StopWorkers() {
    bridges.StopAll();
    sipEngine.StopEngine();
    workers.StopAll();
  }

  platform::UiPostbox postbox;
  platform::PhonePaths paths;
  // The store stands in for the system registry, so it exists before everything else. A
  // file it cannot open is left as it is (the window says so in the log).
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
  platform::SystemNameResolver resolver;
  call::NatTraversal nat;
  // Constructed, not started; it writes the SIP trace when SipTraceOn is set.
  sip::SipEngine sipEngine;
  // The dialogs that receive messages (the engine's router) and the call terminator worker,
  // which the engine thread starts and stops.
  sip::DialogList dialogs;
  sip::CallTerminator callTerminator;
  // The running two-leg bridges; destroyed before the terminator they hand their dialogs to.
  sip::BridgeList bridges{dialogs, callTerminator, tickClock};
  platform::WorkerRegistry workers;
  platform::StartupLock startupLock;
};

}  // namespace corvina::app
