// A UDP relay between two RTP endpoints on loopback that treats the datagrams like a poor
// network would: each is lost with some probability, held back by a random delay (so that
// datagrams overtake each other), and sometimes delivered twice. The random generator is
// seeded, so a failing run can be repeated exactly.
//
// Side A sends to PortForA() and hears from it; side B likewise with PortForB().
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <queue>
#include <random>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/udp_socket.h"

namespace corvina::interop {

struct Impairment {
  double loss = 0;          // probability a datagram is dropped
  int delayMs = 0;          // mean one-way delay
  int jitterMs = 0;         // delay spread: uniform in delayMs ± jitterMs
  double duplicate = 0;     // probability a datagram is sent twice (each copy with its own delay)
  std::uint32_t seed = 1;
};

class ImpairingRelay {
 public:
  ImpairingRelay(platform::SocketAddress a, platform::SocketAddress b, const Impairment& impairment)
      : a_(a), b_(b), impairment_(impairment), random_(impairment.seed) {
    portA_ = facingA_.Bind({0x7F000001, 0}).local.port;
    portB_ = facingB_.Bind({0x7F000001, 0}).local.port;
    thread_ = std::thread([this] { Run(); });
  }
  ~ImpairingRelay() {
    stop_.Set();
    thread_.join();
  }

  std::uint16_t PortForA() const { return portA_; }
  std::uint16_t PortForB() const { return portB_; }
  // Sizes of the datagrams A sent, in order of arrival at the relay.
  std::vector<std::size_t> SizesFromA() {
    std::lock_guard lock(mutex_);
    return sizesFromA_;
  }
  // Sizes and arrival times (seconds since the relay started) of what B sent.
  std::vector<std::pair<std::size_t, double>> FromB() {
    std::lock_guard lock(mutex_);
    return fromB_;
  }
  std::uint64_t Dropped() const { return dropped_.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point due;
    bool toB;
    std::vector<std::uint8_t> bytes;
    bool operator>(const Pending& other) const { return due > other.due; }
  };

  void Schedule(bool toB, std::span<const std::uint8_t> bytes) {
    std::uniform_real_distribution<double> chance(0, 1);
    std::uniform_int_distribution<int> delay(impairment_.delayMs - impairment_.jitterMs,
                                             impairment_.delayMs + impairment_.jitterMs);
    if (chance(random_) < impairment_.loss) {
      dropped_.fetch_add(1);
      return;
    }
    const int copies = chance(random_) < impairment_.duplicate ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
      queue_.push({Clock::now() + std::chrono::milliseconds(std::max(0, delay(random_))), toB,
                   std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
    }
  }

  void Run() {
    std::array<std::uint8_t, 2048> buffer{};
    for (;;) {
      int timeout = 50;
      if (!queue_.empty()) {
        timeout = static_cast<int>(std::clamp<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(queue_.top().due - Clock::now()).count(), 0, 50));
      }
      const int ready = platform::WaitForAny({platform::WaitSource::Of(stop_), platform::WaitSource::Readable(facingA_.Fd()),
                                              platform::WaitSource::Readable(facingB_.Fd())},
                                             timeout);
      if (ready == 0 || ready == platform::kWaitFailed) return;
      for (platform::UdpSocket* from : {&facingA_, &facingB_}) {
        for (;;) {
          const platform::ReceiveResult r = from->ReceiveNow(buffer);
          if (r.status != platform::ReceiveStatus::kDatagram) break;
          const bool toB = from == &facingA_;
          {
            std::lock_guard lock(mutex_);
            if (toB) {
              sizesFromA_.push_back(r.size);
            } else {
              fromB_.emplace_back(r.size, std::chrono::duration<double>(Clock::now() - started_).count());
            }
          }
          Schedule(toB, std::span(buffer).first(r.size));
        }
      }
      while (!queue_.empty() && queue_.top().due <= Clock::now()) {
        const Pending& p = queue_.top();
        (p.toB ? facingB_ : facingA_).SendTo(p.toB ? b_ : a_, p.bytes);
        queue_.pop();
      }
    }
  }

  const platform::SocketAddress a_;
  const platform::SocketAddress b_;
  const Impairment impairment_;
  platform::UdpSocket facingA_;  // relay thread (bound before it starts)
  platform::UdpSocket facingB_;
  std::uint16_t portA_ = 0;
  std::uint16_t portB_ = 0;
  std::mt19937 random_;  // relay thread
  std::priority_queue<Pending, std::vector<Pending>, std::greater<>> queue_;  // relay thread
  const Clock::time_point started_ = Clock::now();
  std::mutex mutex_;                     // guards sizesFromA_ and fromB_
  std::vector<std::size_t> sizesFromA_;
  std::vector<std::pair<std::size_t, double>> fromB_;
  std::atomic<std::uint64_t> dropped_{0};
  platform::Event stop_{platform::Event::Mode::kManualReset};
  std::thread thread_;
};

}  // namespace corvina::interop
