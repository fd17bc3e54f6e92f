// `corvina reg ...`: the administrator's tool for the settings store, also for the values the
// phone only reads. Sections are named as the phone names them ("Settings", "SIP", "Line1",
// "QuickTransfer\0").
//   reg list [SECTION]          values as NAME=VALUE, then the sections below as [SECTION\NAME]
//   reg get SECTION NAME        the value
//   reg set SECTION NAME VALUE
//   reg delete SECTION [NAME]   one value, or the section with everything below it
// Exit codes: 0 done, 1 no such value or section (or the store failed), 2 bad arguments.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace corvina::app {

int RunRegTool(const std::vector<std::string>& args, platform::SettingsStore& store, std::ostream& out,
               std::ostream& err);

}  // namespace corvina::app
