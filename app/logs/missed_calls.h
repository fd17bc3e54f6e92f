// The missed calls of this run: a count and one entry "name <address> at HH:MM:SS" per call
// that ended while still unanswered. The count is exact; the text keeps only the latest
// entries, so a phone left ringing for weeks does not grow without bound. Lives only while
// the program runs; placing an outgoing call clears it. User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/settings.h"

namespace corvina::app {

class MissedCalls {
 public:
  explicit MissedCalls(const platform::WallClock& clock) : clock_(clock) {}

  // At the end of every call: counts it when `unanswered` is still set and `ShowMissedCalls`
  // (section `Settings`, true when absent) is on. True when counted.
  bool AccountMissedCall(const platform::Settings& settings, bool unanswered, std::string_view displayName,
               std::string_view address);
  void Clear();

  std::int64_t Count() const { return count_; }
  // The entries, oldest first, each ending in CR LF.
  std::string Text() const;
  // "You have N missed call(s).\r\n" followed by the entries; empty when there are none.
  std::string Summary() const;

  static constexpr std::size_t kKeptEntries = 100;

 private:
  const platform::WallClock& clock_;
  std::int64_t count_ = 0;
  std::deque<std::string> entries_;  // the latest kKeptEntries
};

}  // namespace corvina::app
