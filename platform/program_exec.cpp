#include "platform/program_exec.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvina::platform {

std::string RunningProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (got <= 0 || static_cast<std::size_t>(got) >= buffer.size()) return {};
  const std::string path(buffer.data(), static_cast<std::size_t>(got));
  return path.substr(0, path.rfind('/') + 1);
}

std::string ReplaceWithProgram(const std::vector<std::string>& paths, char** argv) {
  const std::string folder = RunningProgramFolder();
  if (folder.empty()) return std::string("cannot find the running program: ") + std::strerror(errno);
  std::string reason = "no program to run";
  for (const std::string& path : paths) {
    const std::string full = folder + path;
    execv(full.c_str(), argv);
    // Only a missing program sends the search on; anything else (not executable, a broken
    // file) is the answer.
    reason = full + ": " + std::strerror(errno);
    if (errno != ENOENT) break;
  }
  return reason;
}

}  // namespace corvina::platform
