// Proof that a thread or process is blocked in a system call, read from the kernel rather than
// guessed from a sleep: /proc/<pid>/task/<tid>/syscall names the call a blocked task sits in.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>

namespace corvina::testing {

// The calls a wait (poll) and a timed sleep block in.
inline constexpr std::initializer_list<long> kWaitCalls = {SYS_poll, SYS_ppoll};
inline constexpr std::initializer_list<long> kSleepCalls = {SYS_nanosleep, SYS_clock_nanosleep};

// True once task `tid` of process `pid` is seen blocked in one of `calls`; false when `limitMs`
// passes first (the task is checked every millisecond).
inline bool WaitUntilBlockedIn(pid_t pid, pid_t tid, std::initializer_list<long> calls, int limitMs = 10000) {
  const std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/syscall";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream file(path);
    long number = -1;
    if (file >> number) {
      for (long call : calls) {
        if (number == call) return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace corvina::testing
