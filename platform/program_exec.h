// Replaces the running program with another program of the product, for a part that must not
// be loaded unless it is used (the Qt window: the console phone never maps Qt). The process
// stays the same: its id, standard streams, environment, signal mask and arguments carry over,
// so whoever started it (a test, the desktop opening a link, a shell's job control) sees one
// program.
#pragma once

#include <string>

namespace corvina::platform {

// The folder of the running program's file ("/proc/self/exe"), or "" when it cannot be read.
std::string RunningProgramFolder();

// Runs `name` from `besideFolder` (a build tree, or an install that keeps the programs
// together), or else `installedPath`, in place of this program, with `argv` (argv[0] kept, the
// list null-terminated). Returns only on failure, with the reason for the user.
std::string ReplaceWithProgram(const std::string& name, const std::string& besideFolder,
                               const std::string& installedPath, char** argv);

}  // namespace corvina::platform
