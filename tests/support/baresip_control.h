// baresip's control port (its ctrl_tcp module on loopback): a command goes out as the netstring
// of {"command", "params", "token"}; events and then the response come back as netstrings.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace corvina::testing {

// Sends `command` (e.g. "hold", "resume", "hangup", "dial" with the address as `params`) to the
// control port and waits up to 3 s for baresip's response; true when it reports success.
inline bool BaresipCommand(std::uint16_t controlPort, const std::string& command, const std::string& params = {}) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(controlPort);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string json = "{\"command\":\"" + command + "\",\"params\":\"" + params + "\",\"token\":\"t\"}";
  const std::string netstring = std::to_string(json.size()) + ":" + json + ",";
  std::string received;
  bool open = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
              send(fd, netstring.data(), netstring.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(netstring.size());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (open && std::chrono::steady_clock::now() < deadline) {
    // Each complete netstring ("LENGTH:JSON,") is an event or the response.
    const std::size_t colon = received.find(':');
    if (colon != std::string::npos && received.size() > colon + 1 + std::stoul(received.substr(0, colon))) {
      const std::size_t length = std::stoul(received.substr(0, colon));
      const std::string message = received.substr(colon + 1, length);
      received.erase(0, colon + length + 2);
      if (message.find("\"response\":true") == std::string::npos) continue;
      close(fd);
      return message.find("\"ok\":true") != std::string::npos;
    }
    pollfd wait{fd, POLLIN, 0};
    char buffer[4096];
    if (poll(&wait, 1, 100) != 1) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) open = false;
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return false;
}

}  // namespace corvina::testing
