// The start-up lock: serialises two start-ups of the same phone, so that a second copy started
// while the first is still building its window waits until that window exists. It is an
// exclusive lock on a file named "CorvinaStarting" in the phone's runtime folder, released
// explicitly or when the process ends (the kernel drops it even after a crash). Release removes
// the file; a crash leaves it behind, unlocked, for the next start to reuse.
#pragma once

#include <string>

#include "platform/product.h"
#include "platform/unique_fd.h"

namespace corvina::platform {

class StartupLock {
 public:
  static constexpr const char* kName = CORVINA_NAME "Starting";
  static constexpr int kStartupBudgetMs = 20000;

  explicit StartupLock(std::string folder);
  ~StartupLock();
  StartupLock(const StartupLock&) = delete;
  StartupLock& operator=(const StartupLock&) = delete;

  // True when the lock was obtained within `timeoutMs`. A time-out is not an error: start-up
  // goes on without it.
  bool Acquire(int timeoutMs);
  void Release();
  bool Held() const { return held_; }

 private:
  std::string path_;
  UniqueFd fd_;
  bool held_ = false;
};

}  // namespace corvina::platform
