// What tests that drive real processes share: a bounded poll of a condition, a file read whole,
// and a bounded wait for another process to bind a UDP port.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace corvina::testing {

// Polls `condition` every 50 ms until it holds or `timeoutMs` has passed.
template <typename Condition>
bool PollUntil(Condition condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// Whether some process has a UDP socket bound to `port` on a local IPv4 address, as the
// kernel's socket table says ("  N: 0100007F:1F90 00000000:0000 07 ...", addresses in hex).
inline bool UdpPortBound(std::uint16_t port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  std::istringstream table(ReadFile("/proc/net/udp"));
  std::string slot;
  std::string local;
  std::string rest;
  while (table >> slot >> local && std::getline(table, rest)) {
    if (local.ends_with(wanted)) return true;
  }
  return false;
}

// Waits until a peer started a moment ago listens on UDP `port`; false after `timeoutMs`.
inline bool WaitForUdpBind(std::uint16_t port, int timeoutMs) {
  return PollUntil([&] { return UdpPortBound(port); }, timeoutMs);
}

}  // namespace corvina::testing
