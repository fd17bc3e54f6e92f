// `corvina nettest [--blocked yes|no|cancel]`: the network setup tool without the window. Step
// texts, the bar and the activity-log lines it writes are printed one a line; the firewall
// question is answered by --blocked (default "no"; "yes" retries a port three times, then gives it up). A phone running on the same home holds the
// SIP port, so the tool refuses to run beside it.
//   progress TEXT | progress N% | log LEVEL TEXT | question TITLE: TEXT -> ANSWER | messageBox TITLE: TEXT
// The exit code: 0 finished, 1 cancelled, 2 ended early (STATIC, no internet), refused or bad arguments.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/settings_store.h"

namespace corvina::app {

#define CORVINA_NETTEST_USAGE "       corvina nettest [--blocked yes|no|cancel]\n"

int RunNetTestTool(const std::vector<std::string>& args, platform::SettingsStore& store,
                   const platform::PhonePaths& paths, std::ostream& out, std::ostream& err);

}  // namespace corvina::app
