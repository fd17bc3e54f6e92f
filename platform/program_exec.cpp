#include "platform/program_exec.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace corvina::platform {

std::string RunningProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (got <= 0 || static_cast<std::size_t>(got) >= buffer.size()) return {};
  const std::string path(buffer.data(), static_cast<std::size_t>(got));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ReplaceWithProgram(const std::string& name, const std::string& besideFolder,
                               const std::string& installedPath, char** argv) {
  std::vector<std::string> candidates;
  if (!besideFolder.empty()) candidates.push_back(besideFolder + (besideFolder.back() == '/' ? "" : "/") + name);
  if (!installedPath.empty()) candidates.push_back(installedPath);
  std::string reason = name + " not found";
  for (const std::string& path : candidates) {
    execv(path.c_str(), argv);
    // Only a missing program sends the search on; anything else (not executable, a broken
    // file) is the answer.
    reason = path + ": " + std::strerror(errno);
    if (errno != ENOENT) break;
  }
  return reason;
}

}  // namespace corvina::platform
