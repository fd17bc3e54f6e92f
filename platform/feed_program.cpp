#include "platform/feed_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/fd_io.h"

extern char** environ;

namespace corvina::platform {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Writes `input` to the non-blocking pipe before the deadline; false when the reader went away
// or time ran out.
bool WriteAll(int fd, std::string_view input, Clock::time_point deadline) {
  while (!input.empty()) {
    const long n = WriteSome(fd, input);
    if (n < 0) return false;
    input.remove_prefix(static_cast<std::size_t>(n));
    if (!input.empty() && !WaitWritable(fd, MsLeft(deadline))) return false;
  }
  return true;
}

}  // namespace

bool IsExecutableFile(const std::string& path) { return !path.empty() && access(path.c_str(), X_OK) == 0; }

std::optional<int> FeedProgram(const std::string& path, const std::vector<std::string>& args, std::string_view input,
                               int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return std::nullopt;
  }
  if (child == 0) {
    // Only async-signal-safe calls after fork().
    if (dup2(pipeFds[0], STDIN_FILENO) < 0) _exit(127);
    execve(path.c_str(), argv.data(), environ);
    _exit(127);
  }
  close(pipeFds[0]);
  fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
  WriteAll(pipeFds[1], input, deadline);
  close(pipeFds[1]);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (MsLeft(deadline) == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return std::nullopt;
    }
    usleep(10000);
  }
  if (!WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

}  // namespace corvina::platform
