#include "platform/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/name_resolver.h"

namespace corvina::platform {

bool TcpListener::Listen(const std::string& hostPort, std::string* error, bool loopbackOnly) {
  failureErrno_ = 0;
  std::size_t colon = hostPort.rfind(':');
  std::optional<std::uint32_t> parsed;
  if (colon != std::string::npos) parsed = ParseIpv4(std::string_view(hostPort).substr(0, colon));
  if (!parsed) {
    *error = "expected HOST:PORT with a dotted address, got \"" + hostPort + "\"";
    return false;
  }
  const std::uint32_t host = *parsed;
  if (loopbackOnly && !IsLoopback(host)) {
    *error = "the control port listens on loopback only (127.x.x.x), not " + hostPort.substr(0, colon);
    return false;
  }
  std::string portText = hostPort.substr(colon + 1);
  char* end = nullptr;
  long port = std::strtol(portText.c_str(), &end, 10);
  if (portText.empty() || *end != '\0' || port < 0 || port > 65535) {
    *error = "bad port \"" + portText + "\" (0-65535)";
    return false;
  }
  fd_.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd_) {
    failureErrno_ = errno;
    *error = std::string("cannot make a socket: ") + std::strerror(errno);
    return false;
  }
  int one = 1;
  setsockopt(fd_.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(host);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(fd_.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_.Get(), 16) != 0) {
    failureErrno_ = errno;
    *error = "cannot listen on " + hostPort + ": " + std::strerror(errno);
    fd_.Reset();
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&addr), &len);
  address_ = hostPort.substr(0, colon) + ":" + std::to_string(ntohs(addr.sin_port));
  return true;
}

UniqueFd TcpListener::Accept() {
  if (!fd_) return UniqueFd();
  return UniqueFd(accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
}

}  // namespace corvina::platform
