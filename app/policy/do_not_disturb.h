// Do Not Disturb: one flag that the user-interface thread sets and the SIP engine's thread
// reads for every incoming INVITE, mirrored in the switch `DoNotDisturb` of section
// `Settings` so that it survives restarts. Turning it on or off is logged (on with the Do Not
// Disturb level, off as information).
#pragma once

#include <atomic>
#include <functional>

#include "platform/log_sink.h"
#include "platform/settings.h"
#include "platform/thread_checker.h"

namespace corvina::app {

class DoNotDisturb {
 public:
  // `engineFlag`, when given, receives every change as well (the SIP engine's own flag).
  DoNotDisturb(platform::Settings& settings, platform::LogSink& log, std::function<void(bool)> engineFlag = {});

  // Load, SetDoNotDisturb and Store run on the user-interface thread (the constructing one).
  // Start-up: loads the flag from the setting (off when absent) and returns it.
  bool Load();
  // The user turned it on or off: sets the flag, stores "1" or "0", logs the change and
  // returns the stored state read back, which the DND button shows.
  bool SetDoNotDisturb(bool on);
  // Shutdown: stores the flag.
  void Store();

  // Any thread.
  bool IsOn() const { return on_.load(std::memory_order_relaxed); }

  static constexpr const char* kSection = "Settings";
  static constexpr const char* kName = "DoNotDisturb";

 private:
  void Apply(bool on);

  platform::Settings& settings_;  // user-interface thread
  platform::LogSink& log_;
  std::function<void(bool)> engineFlag_;
  std::atomic<bool> on_{false};  // written by the user-interface thread, read by any
  platform::ThreadChecker uiThread_;
};

}  // namespace corvina::app
