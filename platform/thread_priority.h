// Thread priorities in the four levels the phone uses, mapped onto Linux scheduling:
//   below normal  -> nice 5
//   normal        -> nice 0
//   highest       -> nice -10
//   time-critical -> round-robin real-time scheduling (priority kRealTimePriority)
// A level the process may not take (no CAP_SYS_NICE, a low RLIMIT_NICE or RLIMIT_RTPRIO) falls
// back to the nearest nice value it may take; the first fallback in the process is said once
// in the activity log.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string_view>

#include "platform/log_sink.h"

namespace corvina::platform {

enum class ThreadPriority : std::uint8_t { kBelowNormal, kNormal, kHighest, kTimeCritical };

inline constexpr int kRealTimePriority = 10;

// What a thread got.
struct PriorityOutcome {
  bool applied = false;   // false when the thread is gone or the call failed outright
  bool exact = false;     // the level as asked (false: a fallback)
  bool realTime = false;  // running under SCHED_RR
  int niceValue = 0;      // the nice value when not real-time
};

std::string_view PriorityName(ThreadPriority level);
// The nice value a level maps to (time-critical: the value used when real time is refused).
int NiceValueFor(ThreadPriority level);
// The lowest nice value an unprivileged thread may set under RLIMIT_NICE `limit` (the limit
// counts 20 - nice), but never above `current`, which a thread may always keep.
int LowestPermittedNice(unsigned long limit, int current);

// Applies `level` to the thread with kernel thread id `tid` (0: the calling thread). Any thread
// may call it. A fallback is logged to `log` once per process.
PriorityOutcome ApplyThreadPriority(pid_t tid, ThreadPriority level, LogSink* log);

// The level the calling thread runs at, read back from the system (a fallback reads as the
// level its nice value stands for), so a thread that stops a worker can hand it its own.
ThreadPriority CurrentThreadPriority();

}  // namespace corvina::platform
