// Emergency numbers on outgoing calls. With `EnableEmergencyMap` on (section `Settings`, off
// when absent), dialling "911", "000", "999", "119", "112" or `OtherEmergency` calls
// `EmergencyMap` instead, from the line `EmergencyLine` (whose account reaches the emergency
// service).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/log_sink.h"
#include "platform/settings.h"

namespace corvina::app {

struct DialTarget {
  std::string number;
  int line = 0;  // 0 or 1
};

// `number` (already stripped of blanks) on the free line `line` that Dial chose, mapped when it
// is an emergency number; `lineBusy` tells which lines have a call. A mapping never loses the
// call: an `EmergencyLine` other than 0 or 1, or one that is busy, keeps the chosen line, and an
// empty `EmergencyMap` dials the number as typed.
DialTarget MapEmergency(const platform::Settings& settings, platform::LogSink& log, std::string_view number, int line,
                        const std::array<bool, 2>& lineBusy);

}  // namespace corvina::app
