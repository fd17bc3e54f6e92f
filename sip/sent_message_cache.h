// The cache of sent answers: every response the phone composes, and every ACK it sends for a
// final response, is kept with the identifying fields of the message it answers, so that a
// retransmission of that message gets the very same text again instead of a second reaction.
// Records live 30000 ms; one is sent again at most 16 times. The cache is bounded in size, the
// oldest record going first, so a flood of requests cannot grow it without limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sip/sip_message.h"

namespace corvina::sip {

class SentMessageCache {
 public:
  static constexpr std::uint32_t kLifetimeMs = 30000;
  static constexpr std::uint32_t kMaxResends = 16;
  static constexpr std::size_t kDefaultCapacity = 1024;

  explicit SentMessageCache(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  // Keeps `text`, sent to `to`, as the answer to `answered`. Any thread.
  void Record(const SipMessage& answered, const SocketAddress& to, std::string_view text, std::uint32_t now);

  struct Resend {
    SocketAddress to;
    std::string text;
  };
  enum class Match { kNone, kResend, kDropped };
  // Looks `received` up. kResend fills `resend` with what to send again; kDropped means it
  // matched a record whose resends are used up. Records older than 30000 ms are removed.
  Match Find(const SipMessage& received, std::uint32_t now, Resend& resend);

  std::size_t Size();

 private:
  struct Entry {
    bool answeredIsRequest;
    std::uint16_t status;
    std::string cseq;
    std::string via;
    std::string to;
    std::string from;
    SocketAddress destination;
    std::string text;
    std::uint32_t recorded;
    std::uint32_t resends = 0;
    std::uint64_t serial;
  };
  struct Order {
    std::uint32_t recorded;
    std::string callId;
    std::uint64_t serial;
  };
  void ExpireLocked(std::uint32_t now);
  void EraseLocked(const Order& order);

  const std::size_t capacity_;
  std::mutex mutex_;  // guards everything below
  // Looked up by the received Call-ID's text without copying it.
  struct CallIdHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::vector<Entry>, CallIdHash, std::equal_to<>> byCallId_;
  std::deque<Order> order_;  // oldest first
  std::uint64_t nextSerial_ = 0;
};

}  // namespace corvina::sip
