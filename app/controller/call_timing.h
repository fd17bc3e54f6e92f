// One line's call times: when the call connected (also the display's call timer) and its hold
// periods. Calendar seconds, 64-bit. User-interface thread.
#pragma once

#include <cstdint>
#include <ctime>

namespace corvina::app {

// What the phone log records of a finished call.
struct CallDurations {
  std::time_t start = 0;        // connection time; the end when the call never connected
  std::int64_t total = 0;       // end − start
  std::int64_t connected = 0;   // total − hold
  std::int64_t hold = 0;        // all hold periods, an open one up to the end included
};

class CallTiming {
 public:
  // The call connected: its start is now and it has no hold time yet.
  void Connected(std::time_t now);
  void HoldStarted(std::time_t now);
  void Retrieved(std::time_t now);
  // Forget the call (once its log row is written), so the next call starts afresh.
  void Clear() { *this = CallTiming(); }

  // The durations of the call ending at `now`; none is negative, and hold never exceeds the
  // total, even when the clock was set back during the call.
  CallDurations Finish(std::time_t now) const;

  std::time_t Start() const { return start_; }
  bool Held() const { return held_; }

 private:
  std::time_t start_ = 0;  // 0 = not connected
  std::time_t holdStart_ = 0;
  bool held_ = false;
  std::int64_t hold_ = 0;  // closed hold periods
};

}  // namespace corvina::app
