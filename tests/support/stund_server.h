#pragma once
// stund (RFC 3489) on free ports of 127.0.0.1, with 127.0.0.2 as its other address, stopped by
// PID when the object goes.

#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "call/stun_message.h"
#include "platform/udp_socket.h"
#include "tests/support/child_process.h"

namespace corvina::testing {

// True once `address`:`port` answers a STUN binding request, asked every 100 ms for 5 s.
inline bool StunAnswers(std::uint32_t address, std::uint16_t port) {
  platform::UdpSocket s;
  s.Bind({0x7F000001, 0});
  const auto request = call::BuildStunBindingRequest(7);
  std::uint8_t buffer[600];
  for (int i = 0; i < 50; ++i) {
    s.SendTo({address, port}, request);
    if (s.ReceiveFrom(buffer, 100).status == platform::ReceiveStatus::kDatagram) return true;
  }
  return false;
}

class StundServer {
 public:
  StundServer() : port_(FreePort(0x7F000001)), other_(FreePort(0x7F000002)) {
    child_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/timeout", "60", "/usr/sbin/stund", "-h", "127.0.0.1", "-a", "127.0.0.2",
                                 "-p", std::to_string(port_), "-o", std::to_string(other_)},
        std::vector<std::string>{});
  }
  ~StundServer() {
    if (child_->Pid() > 0) kill(child_->Pid(), SIGTERM);  // timeout passes it on to stund
    child_->Wait(3000);
  }
  static bool Installed() { return access("/usr/sbin/stund", X_OK) == 0; }
  // True once the server answers a binding request (bounded wait).
  bool Ready() const { return StunAnswers(0x7F000001, port_); }
  std::uint16_t Port() const { return port_; }

 private:
  static std::uint16_t FreePort(std::uint32_t address) {  // free a moment ago
    platform::UdpSocket probe;
    return probe.Bind({address, 0}).local.port;
  }
  std::uint16_t port_;
  std::uint16_t other_;
  std::unique_ptr<ChildProcess> child_;
};

}  // namespace corvina::testing
