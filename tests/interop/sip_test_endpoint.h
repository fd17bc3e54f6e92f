// The smallest SIP endpoint over a real loopback socket, standing in for the engine in the
// interop tests and the media leg driver: own addresses, identifiers, a dotted-only resolver,
// a log kept in memory, and the engine's part of reading the socket (every datagram parsed and
// delivered to the dialog list).
#pragma once

#include <unistd.h>

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/name_resolver.h"
#include "platform/udp_socket.h"
#include "sip/dialog_list.h"
#include "sip/dialog_services.h"
#include "sip/id_generator.h"
#include "sip/sip_endpoint.h"
#include "sip/sip_parser.h"

namespace corvina::sip::interop {

inline constexpr std::uint32_t kLoopback = 0x7F000001;

class DottedResolver final : public platform::NameResolver {
 public:
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override { return platform::ParseIpv4(host); }
};

class CollectingLog final : public platform::LogSink {
 public:
  void Log(std::string_view message, std::uint8_t) override {
    std::lock_guard lock(lock_);
    lines_.emplace_back(message);
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(lock_);
    return lines_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

class SocketEndpoint final : public SipEndpoint {
 public:
  explicit SocketEndpoint(platform::UdpSocket& socket, std::uint16_t port) : socket_(socket), port_(port) {}
  OwnAddresses Addresses() const override { return {"127.0.0.1", port_, "127.0.0.1", port_}; }
  IdGenerator& Ids() override { return ids_; }
  platform::NameResolver& Resolver() override { return resolver_; }
  platform::LogSink& Log() override { return log_; }
  std::uint32_t NowMs() const override { return clock.NowMs(); }
  void Send(const SocketAddress& to, std::string_view text) override { socket_.SendTo(to, text); }
  void RecordSent(const SipMessage&, const SocketAddress&, std::string_view) override {}

  platform::SystemTickClock clock;

 private:
  platform::UdpSocket& socket_;
  std::uint16_t port_;
  IdGenerator ids_{static_cast<int>(getpid()), 1000, 1};
  DottedResolver resolver_;
  CollectingLog log_;
};

class NoRepeats final : public RetransmissionAnswerer {
  bool AnswerIfRetransmission(const SipMessage&) override { return false; }
};

inline std::uint16_t FreeLoopbackPort() {
  platform::UdpSocket probe;
  platform::BindResult r = probe.Bind({kLoopback, 0});
  return r.Ok() ? r.local.port : 0;
}

// The engine's part: the only reader of the SIP socket hands what arrives to the dialogs.
class SipSocketReader {
 public:
  SipSocketReader(platform::UdpSocket& socket, DialogList& list)
      : thread_([this, &socket, &list] { Run(socket, list); }) {}
  ~SipSocketReader() {
    stop_.Set();
    thread_.join();
  }

 private:
  void Run(platform::UdpSocket& socket, DialogList& list) {
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
      platform::ReceiveResult r = socket.ReceiveFrom(buffer, 200, &stop_);
      if (r.status == platform::ReceiveStatus::kStopped || r.status == platform::ReceiveStatus::kFailed) return;
      if (r.status != platform::ReceiveStatus::kDatagram) continue;
      auto message = std::make_unique<SipMessage>();
      std::string_view text(reinterpret_cast<const char*>(buffer.data()), r.size);
      if (!ParseMessage(text, *message)) continue;
      message->source = r.from;
      list.Deliver(message);
    }
  }

  platform::Event stop_{platform::Event::Mode::kManualReset};
  std::thread thread_;
};

}  // namespace corvina::sip::interop
