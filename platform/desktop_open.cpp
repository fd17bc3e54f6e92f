#include "platform/desktop_open.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace corvina::platform {
namespace {
constexpr int kExecWaitMs = 2000;
}  // namespace

bool OpenWithDesktop(const std::string& target, const char* opener) {
  if (target.empty() || target[0] == '-') return false;
  // Two forks: the middle process exits at once and is reaped here, so the handler belongs to
  // init and the phone has no child to wait for. Only async-signal-safe calls after fork().
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t middle = fork();
  if (middle < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (middle == 0) {
    const pid_t handler = fork();
    if (handler == 0) {
      char* const argv[] = {const_cast<char*>(opener), const_cast<char*>(target.c_str()), nullptr};
      execvp(opener, argv);
      const char failed = 1;  // the pipe closes on a successful exec, so a byte means failure
      (void)!write(report[1], &failed, 1);
      _exit(127);
    }
    _exit(handler < 0 ? 1 : 0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  // The exec closes the pipe at once; a handler that cannot start writes a byte. A stuck exec
  // counts as started.
  char failed = 0;
  ssize_t got = 0;
  pollfd wait{report[0], POLLIN, 0};
  if (poll(&wait, 1, kExecWaitMs) > 0) {
    do {
      got = read(report[0], &failed, 1);
    } while (got < 0 && errno == EINTR);
  }
  close(report[0]);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

}  // namespace corvina::platform
