// Runs a helper program with bytes on its standard input and waits, within a limit, for it to
// exit: for handing a message to the local mail system. The program is started by execve with
// exactly the arguments given (no shell, so nothing in them is interpreted) and the program's
// own environment; its output goes where ours goes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::platform {

// True when `path` names an executable file.
bool IsExecutableFile(const std::string& path);

// The program's exit status (0..255), or nothing when it could not be started, was killed by a
// signal, or outlived `timeoutMs` (it is then killed and reaped).
std::optional<int> FeedProgram(const std::string& path, const std::vector<std::string>& args, std::string_view input,
                               int timeoutMs);

}  // namespace corvina::platform
