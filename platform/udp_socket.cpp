#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>

#include <cerrno>
#include <mutex>

namespace corvina::platform {
namespace {

SocketError Classify(int error) {
  switch (error) {
    case EADDRINUSE:
      return SocketError::kInUse;
    case EACCES:
    case EPERM:
      return SocketError::kPermission;
    case EBADF:
      return SocketError::kClosed;
    default:
      return SocketError::kOther;
  }
}

sockaddr_in ToSockaddr(const SocketAddress& a) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = htonl(a.address);
  sin.sin_port = htons(a.port);
  return sin;
}

SocketAddress FromSockaddr(const sockaddr_in& sin) {
  return SocketAddress{ntohl(sin.sin_addr.s_addr), ntohs(sin.sin_port)};
}

}  // namespace

BindResult UdpSocket::Bind(const SocketAddress& local, const PortWalk& walk) {
  Close();
  BindResult result;
  // An int, so that the walk ends at 65535 instead of wrapping round to port 0.
  const int last = local.port == 0 || walk.step <= 0 ? local.port : std::min<int>(walk.lastPort, 65535);
  for (int port = local.port;; port += walk.step) {
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
      result.osError = errno;
      result.error = Classify(result.osError);
      return result;
    }
    sockaddr_in sin = ToSockaddr(SocketAddress{local.address, static_cast<std::uint16_t>(port)});
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0) {
      socklen_t len = sizeof sin;
      getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&sin), &len);
      result = BindResult{SocketError::kNone, 0, FromSockaddr(sin)};
      ApplyTypeOfService(fd.Get());
      ApplyReceiveBuffer(fd.Get());
      std::unique_lock lock(fdLock_);
      fd_ = std::move(fd);
      return result;
    }
    result.osError = errno;
    result.error = Classify(result.osError);
    if (result.error != SocketError::kInUse || port + walk.step > last || walk.step <= 0) return result;
  }
}

void UdpSocket::Close() {
  std::unique_lock lock(fdLock_);
  fd_.Reset();
}

bool UdpSocket::IsOpen() const { return fd_.Valid(); }

std::optional<SocketAddress> UdpSocket::Local() const {
  if (!fd_) return std::nullopt;
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  if (getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&sin), &len) != 0) return std::nullopt;
  return FromSockaddr(sin);
}

bool UdpSocket::SetTypeOfService(std::uint8_t tos, int priority) {
  tos_ = tos;
  priority_ = priority;
  if (!fd_) return true;
  int value = tos;
  bool ok = setsockopt(fd_.Get(), IPPROTO_IP, IP_TOS, &value, sizeof value) == 0;
  if (priority >= 0) ok = setsockopt(fd_.Get(), SOL_SOCKET, SO_PRIORITY, &priority, sizeof priority) == 0 && ok;
  return ok;
}

bool UdpSocket::SetReceiveBuffer(int bytes) {
  receiveBuffer_ = bytes;
  if (!fd_) return true;
  return setsockopt(fd_.Get(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

void UdpSocket::ApplyReceiveBuffer(int fd) const {
  if (receiveBuffer_ > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
}

void UdpSocket::ApplyTypeOfService(int fd) const {
  if (!tos_) return;
  int value = *tos_;
  setsockopt(fd, IPPROTO_IP, IP_TOS, &value, sizeof value);
  if (priority_ >= 0) setsockopt(fd, SOL_SOCKET, SO_PRIORITY, &priority_, sizeof priority_);
}

SocketError UdpSocket::SendTo(const SocketAddress& to, std::span<const std::uint8_t> data, int* osError) {
  sockaddr_in sin = ToSockaddr(to);
  // Held across the send: the owner cannot close (and the kernel cannot reuse) this
  // descriptor until the datagram is handed over.
  std::shared_lock lock(fdLock_);
  if (!fd_) return SocketError::kClosed;
  ssize_t n = sendto(fd_.Get(), data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
  if (n == static_cast<ssize_t>(data.size())) return SocketError::kNone;
  int error = n < 0 ? errno : EMSGSIZE;
  if (osError != nullptr) *osError = error;
  return Classify(error);
}

SocketError UdpSocket::SendTo(const SocketAddress& to, std::string_view text, int* osError) {
  return SendTo(to, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), osError);
}

ReceiveResult UdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer, int timeoutMs, Event* stop) {
  ReceiveResult result;
  if (!fd_) {
    result.status = ReceiveStatus::kFailed;
    return result;
  }
  const WaitSource both[] = {stop != nullptr ? WaitSource::Of(*stop) : WaitSource{}, WaitSource::Readable(fd_.Get())};
  const std::span<const WaitSource> sources = stop != nullptr ? std::span(both) : std::span(both).subspan(1);
  for (;;) {
    int ready = WaitForAny(sources, timeoutMs);
    if (ready == kWaitTimedOut) return result;
    if (ready < 0) {
      result.status = ReceiveStatus::kFailed;
      return result;
    }
    if (stop != nullptr && (ready == 0 || stop->IsSet())) {
      result.status = ReceiveStatus::kStopped;
      return result;
    }
    result = ReceiveNow(buffer);
    // A datagram dropped between the wake-up and the read (a bad checksum) means wait on.
    if (result.status != ReceiveStatus::kNothing) return result;
  }
}

ReceiveResult UdpSocket::ReceiveNow(std::span<std::uint8_t> buffer) {
  ReceiveResult result;
  if (!fd_) {
    result.status = ReceiveStatus::kFailed;
    return result;
  }
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  // MSG_TRUNC makes the call return the datagram's real length even when it did not fit.
  ssize_t n = recvfrom(fd_.Get(), buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&sin), &len);
  if (n < 0) {
    // ECONNREFUSED is an ICMP answer to an earlier send, not a fault of this socket.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNREFUSED) return result;
    result.status = ReceiveStatus::kFailed;
    return result;
  }
  result.status = ReceiveStatus::kDatagram;
  result.size = std::min(static_cast<std::size_t>(n), buffer.size());
  result.truncated = static_cast<std::size_t>(n) > buffer.size();
  result.from = FromSockaddr(sin);
  return result;
}

}  // namespace corvina::platform
