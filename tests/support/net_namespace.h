#pragma once
// Runs code inside a network namespace that a test made with `ip netns add`.

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace corvina::testing {

// Runs `body` on a thread that has joined the network namespace `name` (the sockets and threads
// it makes stay there). False when the namespace could not be joined; `body` then did not run.
template <typename Body>
bool InNetNamespace(const std::string& name, Body body) {
  bool joined = false;
  std::thread t([&] {
    int fd = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    joined = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    if (joined) body();
  });
  t.join();
  return joined;
}

}  // namespace corvina::testing
