#include "platform/termination_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace corvina::platform {

bool TerminationSignals::Open() {
  signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  fd_.Reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  return fd_.Valid();
}

int TerminationSignals::Take() {
  signalfd_siginfo info{};
  if (!fd_ || read(fd_.Get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
  return static_cast<int>(info.ssi_signo);
}

}  // namespace corvina::platform
