#include "platform/thread_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>

namespace corvina::platform {
namespace {

// Whether the one fallback notice of the process has been written.
std::atomic<bool> fallbackSaid{false};

void SayFallbackOnce(LogSink* log, ThreadPriority level, int niceValue) {
  if (log == nullptr || fallbackSaid.exchange(true)) return;
  log->Log("Thread priority " + std::string(PriorityName(level)) + " is not permitted; using nice " +
               std::to_string(niceValue),
           kLogInfo);
}

bool SetNice(pid_t tid, int value) {
  errno = 0;
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), value) == 0;
}

int GetNice(pid_t tid) {
  errno = 0;
  int value = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  return errno == 0 ? value : 0;
}

}  // namespace

std::string_view PriorityName(ThreadPriority level) {
  switch (level) {
    case ThreadPriority::kBelowNormal:
      return "below normal";
    case ThreadPriority::kNormal:
      return "normal";
    case ThreadPriority::kHighest:
      return "highest";
    case ThreadPriority::kTimeCritical:
      return "time-critical";
  }
  return "normal";
}

int NiceValueFor(ThreadPriority level) {
  switch (level) {
    case ThreadPriority::kBelowNormal:
      return 5;
    case ThreadPriority::kNormal:
      return 0;
    case ThreadPriority::kHighest:
      return -10;
    case ThreadPriority::kTimeCritical:
      return -20;
  }
  return 0;
}

int LowestPermittedNice(unsigned long limit, int current) {
  const long fromLimit = 20 - static_cast<long>(std::min<unsigned long>(limit, 40));
  return static_cast<int>(std::clamp<long>(std::min<long>(fromLimit, current), -20, 19));
}

PriorityOutcome ApplyThreadPriority(pid_t tid, ThreadPriority level, LogSink* log) {
  const pid_t target = tid != 0 ? tid : gettid();
  PriorityOutcome outcome;
  if (level == ThreadPriority::kTimeCritical) {
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    if (sched_setscheduler(target, SCHED_RR, &param) == 0) {
      outcome = PriorityOutcome{true, true, true, 0};
      return outcome;
    }
    if (errno == ESRCH) return outcome;
  }
  // Leave real-time scheduling first (always allowed), then take the nice value.
  sched_param normal{};
  if (sched_getscheduler(target) != SCHED_OTHER) sched_setscheduler(target, SCHED_OTHER, &normal);
  const int wanted = NiceValueFor(level);
  if (SetNice(target, wanted)) {
    outcome = PriorityOutcome{true, level != ThreadPriority::kTimeCritical, false, wanted};
  } else if (errno == EACCES || errno == EPERM) {
    rlimit limit{};
    getrlimit(RLIMIT_NICE, &limit);
    const int nearest = std::max(wanted, LowestPermittedNice(limit.rlim_cur, GetNice(target)));
    const bool set = SetNice(target, nearest);
    outcome = PriorityOutcome{set, false, false, set ? nearest : GetNice(target)};
  } else {
    return outcome;
  }
  if (!outcome.exact) SayFallbackOnce(log, level, outcome.niceValue);
  return outcome;
}

ThreadPriority CurrentThreadPriority() {
  const int policy = sched_getscheduler(0);
  if (policy == SCHED_RR || policy == SCHED_FIFO) return ThreadPriority::kTimeCritical;
  const int nice = GetNice(gettid());
  if (nice <= NiceValueFor(ThreadPriority::kHighest)) return ThreadPriority::kHighest;
  if (nice >= NiceValueFor(ThreadPriority::kBelowNormal)) return ThreadPriority::kBelowNormal;
  return ThreadPriority::kNormal;
}

}  // namespace corvina::platform
