#include "app/controller/call_timing.h"

#include <algorithm>

namespace corvina::app {

void CallTiming::Connected(std::time_t now) {
  start_ = now;
  hold_ = 0;
  held_ = false;
}

void CallTiming::HoldStarted(std::time_t now) {
  if (held_) return;
  held_ = true;
  holdStart_ = now;
}

void CallTiming::Retrieved(std::time_t now) {
  if (!held_) return;
  held_ = false;
  hold_ += std::max<std::int64_t>(0, now - holdStart_);
}

CallDurations CallTiming::Finish(std::time_t now) const {
  CallDurations d;
  d.start = start_ != 0 ? start_ : now;
  d.total = std::max<std::int64_t>(0, now - d.start);
  std::int64_t hold = hold_;
  if (held_) hold += std::max<std::int64_t>(0, now - holdStart_);
  d.hold = std::clamp<std::int64_t>(hold, 0, d.total);
  d.connected = d.total - d.hold;
  return d;
}

}  // namespace corvina::app
