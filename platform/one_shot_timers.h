// The armed one-shot timers of a user-interface loop, by id. Setting an id again re-arms it;
// due timers come out in deadline order (ties in the order they were set), and a timer is
// removed before its handler runs, so the handler may set it again.
#pragma once

#include <functional>
#include <map>
#include <optional>

namespace corvina::platform {

template <typename TimePoint>
class OneShotTimers {
 public:
  void Set(int id, TimePoint deadline, std::function<void()> handler) {
    timers_[id] = Timer{deadline, sequence_++, std::move(handler)};
  }
  void Kill(int id) { timers_.erase(id); }
  bool IsArmed(int id) const { return timers_.count(id) > 0; }
  bool Empty() const { return timers_.empty(); }

  // Takes the earliest timer due at `now`, with its deadline.
  std::optional<std::pair<TimePoint, std::function<void()>>> TakeDue(TimePoint now) {
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (now < it->second.deadline) continue;
      if (due == timers_.end() || Earlier(it->second, due->second)) due = it;
    }
    if (due == timers_.end()) return std::nullopt;
    std::pair<TimePoint, std::function<void()>> out{due->second.deadline, std::move(due->second.handler)};
    timers_.erase(due);
    return out;
  }

  // The earliest deadline; only meaningful when not Empty().
  TimePoint NextDeadline() const {
    auto first = timers_.begin();
    TimePoint next = first->second.deadline;
    for (const auto& [id, t] : timers_) {
      if (t.deadline < next) next = t.deadline;
    }
    return next;
  }

 private:
  struct Timer {
    TimePoint deadline;
    unsigned long long sequence;
    std::function<void()> handler;
  };
  static bool Earlier(const Timer& a, const Timer& b) {
    return a.deadline < b.deadline || (!(b.deadline < a.deadline) && a.sequence < b.sequence);
  }

  std::map<int, Timer> timers_;
  unsigned long long sequence_ = 0;
};

}  // namespace corvina::platform
