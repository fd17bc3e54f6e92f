// The ten most recent numbers dialled or received, in slots 0-9 of section `Recent`:
// `RecentCall%d` (the dial-box text, or " name <address>" for a received call; empty = free),
// `RecentCallDate%d` (calendar seconds of the last use) and `RecentCallReceived%d` ("1"
// received, "0" dialled). Read and written at each use, never cached. User-interface thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/settings.h"

namespace corvina::app {

struct RecentCall {
  int slot = 0;
  std::string text;
  std::int64_t date = 0;  // the stored date; now when absent
};

class RecentCalls {
 public:
  static constexpr int kSlots = 10;

  RecentCalls(platform::Settings& settings, const platform::WallClock& clock) : settings_(settings), clock_(clock) {}

  // Remembers `text` (cut to 259 characters) as used now: a slot already holding it (in any
  // case) only gets the new date and direction; otherwise the first free slot takes it, or,
  // with all taken, the slot with the oldest date. An empty text is not remembered.
  void AddRecentCall(std::string_view text, bool received);
  // The text of the most recently used slot (slot 0 when no slot has a date).
  std::string RedialText() const;
  // The non-empty slots in slot order, for the dial box's list.
  std::vector<RecentCall> List() const;

 private:
  std::string Text(int slot) const;
  // The slot's date; `present` tells whether one is stored.
  std::int64_t Date(int slot, bool* present) const;
  void Store(int slot, std::string_view text, std::int64_t date, bool received, bool withText);

  platform::Settings& settings_;
  const platform::WallClock& clock_;
};

}  // namespace corvina::app
