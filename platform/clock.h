// Clocks. SIP and user-interface timing use a 32-bit millisecond tick count that wraps and is
// compared by difference; media timing uses a 64-bit millisecond clock from the monotonic
// counter; the activity log and the recent-call stamps use local calendar time. Each is an
// interface so tests can drive time by hand.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

namespace corvina::platform {

// Milliseconds from `now` until `deadline` on the 32-bit millisecond tick count, 0 once it has
// passed (compared by difference, so the wrap is harmless).
inline int TicksUntil(std::uint32_t now, std::uint32_t deadline) {
  const auto left = static_cast<std::int32_t>(deadline - now);
  return left > 0 ? left : 0;
}

class TickClock {
 public:
  virtual ~TickClock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32.
  virtual std::uint32_t NowMs() const = 0;
};

// True once `now` has reached `deadline`, for deadlines less than 2^31 ms away (wrap-safe).
inline bool TickReached(std::uint32_t now, std::uint32_t deadline) {
  return static_cast<std::int32_t>(now - deadline) >= 0;
}

class MediaClock {
 public:
  virtual ~MediaClock() = default;
  // Milliseconds from the monotonic high-resolution counter.
  virtual std::int64_t NowMs() const = 0;
};

class WallClock {
 public:
  virtual ~WallClock() = default;
  // Calendar seconds (UTC-based time_t).
  virtual std::time_t Now() const = 0;
  // The broken-down local time of `t`.
  virtual std::tm LocalTime(std::time_t t) const;
};

class SystemTickClock final : public TickClock {
 public:
  std::uint32_t NowMs() const override;
};

class SystemMediaClock final : public MediaClock {
 public:
  std::int64_t NowMs() const override;
};

class SystemWallClock final : public WallClock {
 public:
  std::time_t Now() const override;
};

// Hand-driven clocks for tests; safe to read from other threads while the test advances them.
class FakeTickClock final : public TickClock {
 public:
  explicit FakeTickClock(std::uint32_t start = 0) : now_(start) {}
  std::uint32_t NowMs() const override { return now_.load(); }
  void Advance(std::uint32_t ms) { now_.fetch_add(ms); }
  void Set(std::uint32_t ms) { now_.store(ms); }

 private:
  std::atomic<std::uint32_t> now_;
};

class FakeMediaClock final : public MediaClock {
 public:
  explicit FakeMediaClock(std::int64_t start = 0) : now_(start) {}
  std::int64_t NowMs() const override { return now_.load(); }
  void Advance(std::int64_t ms) { now_.fetch_add(ms); }

 private:
  std::atomic<std::int64_t> now_;
};

// Local time is computed in UTC so tests do not depend on the machine's zone.
class FakeWallClock final : public WallClock {
 public:
  explicit FakeWallClock(std::time_t start) : now_(start) {}
  std::time_t Now() const override { return now_.load(); }
  std::tm LocalTime(std::time_t t) const override;
  void Advance(std::time_t seconds) { now_.fetch_add(seconds); }
  void Set(std::time_t t) { now_.store(t); }

 private:
  std::atomic<std::time_t> now_;
};

}  // namespace corvina::platform
