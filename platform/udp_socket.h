// An IPv4 UDP socket for SIP, RTP, STUN and UPnP traffic.
//
// Threads: one owner thread binds, closes, receives and waits on Fd(). SendTo() may be called
// from any thread at any time, also while the owner closes or rebinds: a send holds a shared
// lock for as long as it uses the descriptor, and closing takes that lock exclusively, so a
// send can never land on a descriptor number the kernel has already handed to someone else.
// The socket itself must outlive every sender: share it by std::shared_ptr.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>  // std::shared_lock
#include <span>

#include "platform/event.h"
#include "platform/socket_address.h"
#include "platform/unique_fd.h"
#include "platform/writer_first_lock.h"

namespace corvina::platform {

// What went wrong, in the kinds callers act on differently.
enum class SocketError : std::uint8_t {
  kNone = 0,
  kInUse,       // the address and port are taken (EADDRINUSE)
  kPermission,  // not allowed (EACCES, EPERM: a privileged port, a firewall rule)
  kClosed,      // the socket is not open
  kOther,       // anything else; `osError` says what
};

// Which ports Bind() tries after the asked one is in use: port, port + step, ... up to
// `lastPort` (never past 65535, never wrapping round to 0). Step 0 tries the asked port only.
struct PortWalk {
  int step = 0;
  std::uint16_t lastPort = 65535;
};
inline constexpr PortWalk kNoPortWalk{};
inline constexpr PortWalk kSignallingPortWalk{1};  // SIP: the next free port
inline constexpr PortWalk kMediaPortWalk{2};       // RTP: even ports only

struct BindResult {
  SocketError error = SocketError::kNone;
  int osError = 0;  // errno of the last failed call
  SocketAddress local;  // the address and port actually bound (on success)
  bool Ok() const { return error == SocketError::kNone; }
};

enum class ReceiveStatus : std::uint8_t {
  kDatagram,  // one datagram was taken
  kNothing,   // the time-out passed (or, for ReceiveNow, nothing was waiting)
  kStopped,   // the stop event was set first
  kFailed,    // the socket is closed or the call failed
};

struct ReceiveResult {
  ReceiveStatus status = ReceiveStatus::kNothing;
  std::size_t size = 0;    // bytes stored in the buffer
  bool truncated = false;  // the datagram was longer than the buffer; its tail is lost
  SocketAddress from;
};

// The type-of-service byte for voice: DSCP EF (46) shifted into the top six bits.
inline constexpr std::uint8_t kVoiceTypeOfService = 0xB8;
// The socket priority that puts voice in the highest queue an unprivileged process may pick.
inline constexpr int kVoiceSocketPriority = 6;

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Owner thread. Closes any open socket, then binds to `local` (address 0 = every interface,
  // port 0 = a free one the system picks), walking on to later ports while they are in use.
  BindResult Bind(const SocketAddress& local, const PortWalk& walk = kNoPortWalk);
  // Owner thread. Closes the socket; sends after this report kClosed.
  void Close();
  // Owner thread.
  bool IsOpen() const;
  // Owner thread. The bound address and port (address 0 when bound to every interface); unset when closed.
  std::optional<SocketAddress> Local() const;

  // Owner thread. Sets the type-of-service byte (and, when `priority` >= 0, SO_PRIORITY) now and
  // after every later Bind(). False when the system refused.
  bool SetTypeOfService(std::uint8_t tos, int priority = -1);

  // Owner thread. Asks for a kernel receive buffer of `bytes` now and after every later Bind(),
  // so that a burst outlasts a short stall of the reading thread (the system may grant less).
  bool SetReceiveBuffer(int bytes);

  // Any thread. Sends one datagram; kNone when the whole of it was handed to the system.
  SocketError SendTo(const SocketAddress& to, std::span<const std::uint8_t> data, int* osError = nullptr);
  SocketError SendTo(const SocketAddress& to, std::string_view text, int* osError = nullptr);

  // Owner thread. Waits up to `timeoutMs` (kWaitInfinite for no limit) for one datagram, or
  // until `stop` (when given) is set; the stop wins when both are ready.
  ReceiveResult ReceiveFrom(std::span<std::uint8_t> buffer, int timeoutMs, Event* stop = nullptr);
  // Owner thread. Takes one waiting datagram without waiting (for draining after a wake-up).
  ReceiveResult ReceiveNow(std::span<std::uint8_t> buffer);

  // Owner thread: the descriptor to put into a WaitForAny; -1 when closed. Valid until the next
  // Bind() or Close().
  int Fd() const { return fd_.Get(); }

 private:
  void ApplyTypeOfService(int fd) const;
  void ApplyReceiveBuffer(int fd) const;

  // Written by the owner under the exclusive lock; read by senders under the shared lock and by
  // the owner without it.
  UniqueFd fd_;
  mutable WriterFirstLock fdLock_;
  // Owner thread.
  std::optional<std::uint8_t> tos_;
  int priority_ = -1;
  int receiveBuffer_ = 0;  // 0: the system's default
};

}  // namespace corvina::platform
