#include "platform/clock.h"

#include <chrono>

namespace corvina::platform {

std::tm WallClock::LocalTime(std::time_t t) const {
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

std::uint32_t SystemTickClock::NowMs() const {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}

std::int64_t SystemMediaClock::NowMs() const {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::int64_t>(ms.count());
}

std::time_t SystemWallClock::Now() const { return std::time(nullptr); }

std::tm FakeWallClock::LocalTime(std::time_t t) const {
  std::tm out{};
  gmtime_r(&t, &out);
  return out;
}

}  // namespace corvina::platform
