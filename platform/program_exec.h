// Replaces the running program with another program of the product, for a part that must not
// be loaded unless it is used (the Qt window: the console phone never maps Qt). The process
// stays the same: its id, standard streams, environment, signal mask and arguments carry over,
// so whoever started it (a test, the desktop opening a link, a shell's job control) sees one
// program.
#pragma once

#include <string>
#include <vector>

namespace corvina::platform {

// Runs the first program of `paths` that exists in place of this one, with `argv` (argv[0]
// kept, the list null-terminated). Each path is relative to the running program's folder
// ("/proc/self/exe"), so a build tree and an install under any prefix both find it. Returns
// only on failure, with the reason for the user.
std::string ReplaceWithProgram(const std::vector<std::string>& paths, char** argv);

// The folder of the running program's file, with its trailing slash, or "" when unknown.
std::string RunningProgramFolder();

}  // namespace corvina::platform
