#include "platform/startup_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/paths.h"

namespace corvina::platform {
namespace {
constexpr int kRetryMs = 50;

// True while `fd` is still the file at `path`: the holder removes the file before it unlocks, so
// a lock taken on a removed file is stale and the file is opened afresh.
bool StillAtPath(int fd, const std::string& path) {
  struct stat held {}, named {};
  return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}
}  // namespace

StartupLock::StartupLock(std::string folder) : path_(std::move(folder) + "/" + kName) {}

StartupLock::~StartupLock() { Release(); }

bool StartupLock::Acquire(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t slash = path_.rfind('/');
  if (slash != std::string::npos) EnsureFolder(path_.substr(0, slash));
  for (;;) {
    // Without a lock file there is nothing to serialise on: start-up goes on at once.
    if (!fd_) fd_.Reset(open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd_) return false;
    if (flock(fd_.Get(), LOCK_EX | LOCK_NB) == 0) {
      if (StillAtPath(fd_.Get(), path_)) {
        held_ = true;
        return true;
      }
      fd_.Reset();
      if (Clock::now() > deadline) return false;
      continue;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (Clock::now() + std::chrono::milliseconds(kRetryMs) > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
  }
}

void StartupLock::Release() {
  if (!fd_) return;
  if (held_) {
    // Removed while still locked, so that no later start locks the old file.
    unlink(path_.c_str());
    flock(fd_.Get(), LOCK_UN);
  }
  fd_.Reset();
  held_ = false;
}

}  // namespace corvina::platform
