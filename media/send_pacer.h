// Holds a sender that is faster than real time (a file played to the peer) to real time, while
// a live microphone, which is never ahead, passes undelayed. The pacer keeps a base pair (ms
// clock, RTP timestamp); "ahead" is how far the timestamps sent since the base run in front of
// the clock: (timestamp - base timestamp) / 8 + base ms - now. All differences are taken
// modulo 2^32 (timestamps) and signed, so wraps do not matter.
#pragma once

#include <cstdint>

namespace corvina::media {

class SendPacer {
 public:
  SendPacer(std::int64_t nowMs, std::uint32_t timestamp) : baseMs_(nowMs), baseTimestamp_(timestamp) {}

  // Milliseconds of audio sent ahead of real time (negative when behind).
  std::int64_t Ahead(std::int64_t nowMs, std::uint32_t timestamp) const;

  // Runs after each frame or silence step: moves the base on every 100 s (so the difference
  // never grows large), resets it when the sender has fallen more than 20 ms behind, and returns
  // how long the sending thread should sleep: 20 ms when more than 240 ms ahead, else 0.
  int AfterSend(std::int64_t nowMs, std::uint32_t timestamp);

  // How long a new sender should wait before it starts: min(ahead, 200) - 20 ms while more
  // than 20 ms ahead, else 0 (the caller asks again after sleeping).
  int StartDelay(std::int64_t nowMs, std::uint32_t timestamp) const;

 private:
  std::int64_t baseMs_;
  std::uint32_t baseTimestamp_;
};

}  // namespace corvina::media
