// Runs a program as a child with pipes on its standard streams, for tests that drive the real
// `corvina` binary. Every read is bounded; the destructor kills and reaps a child still running.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/fd_io.h"

namespace corvina::testing {

class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
  }
  ~ChildProcess() {
    CloseInput();
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      int status;
      waitpid(pid_, &status, 0);
    }
    for (int fd : {stdout_, stderr_}) {
      if (fd >= 0) close(fd);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Whether Wait has seen it end (its PID may belong to another process by then).
  bool Reaped() const { return reaped_; }

  bool Send(const std::string& line) { return stdin_ >= 0 && platform::WriteAll(stdin_, line + "\n"); }
  void CloseInput() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }

  // The next line of standard output, or false after `timeoutMs` or at end of output.
  bool ReadLine(std::string* line, int timeoutMs) { return platform::ReadLine(stdout_, timeoutMs, outLines_, line); }
  // Reads lines until one starts with `prefix`; false on time-out.
  bool WaitForLine(const std::string& prefix, std::string* line, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0 || !ReadLine(line, left)) return false;
      if (line->rfind(prefix, 0) == 0) return true;
    }
  }
  // Everything on standard error until it closes (bounded).
  std::string ReadAllErrors(int timeoutMs) {
    std::string all;
    std::string line;
    while (platform::ReadLine(stderr_, timeoutMs, errLines_, &line)) all += line + "\n";
    if (errLines_.TakeRest(&line)) all += line;
    return all;
  }

  // The exit status (as from waitpid), or -1 when the child has not ended within `timeoutMs`.
  int Wait(int timeoutMs) {
    if (reaped_) return status_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        status_ = status;
        return status;
      }
      usleep(5000);
    }
    return -1;
  }

 private:
  static constexpr std::size_t kMaxLineBytes = 1 << 20;

  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;  // once reaped
  int stdin_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
  platform::LineSplitter outLines_{kMaxLineBytes};
  platform::LineSplitter errLines_{kMaxLineBytes};
};

}  // namespace corvina::testing
