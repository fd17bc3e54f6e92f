#include "app/logs/recent_calls.h"

#include "app/controller/dial_text.h"
#include "platform/text.h"

namespace corvina::app {
namespace {

constexpr const char* kSection = "Recent";

std::string Name(const char* stem, int slot) { return stem + std::to_string(slot); }

}  // namespace

std::string RecentCalls::Text(int slot) const {
  return settings_.GetSettingString(kSection, Name("RecentCall", slot), "");
}

std::int64_t RecentCalls::Date(int slot, bool* present) const {
  std::string value = settings_.GetSettingString(kSection, Name("RecentCallDate", slot), "");
  *present = !value.empty();
  return *present ? platform::ParseLeadingLong(value) : 0;
}

void RecentCalls::Store(int slot, std::string_view text, std::int64_t date, bool received, bool withText) {
  if (withText) settings_.SetSettingString(kSection, Name("RecentCall", slot), text);
  settings_.SetSettingString(kSection, Name("RecentCallDate", slot), std::to_string(date));
  settings_.SetSettingBool(kSection, Name("RecentCallReceived", slot), received);
}

void RecentCalls::AddRecentCall(std::string_view text, bool received) {
  const std::string entry = CutToField(text);
  if (entry.empty()) return;
  const std::int64_t now = clock_.Now();
  // With every slot taken and none older than now, slot 1 gives way.
  int oldestSlot = 1;
  std::uint64_t oldestDate = static_cast<std::uint64_t>(now);
  for (int slot = 0; slot < kSlots; ++slot) {
    std::string stored = Text(slot);
    if (platform::EqualsIgnoreCase(stored, entry)) {
      Store(slot, entry, now, received, false);
      return;
    }
    if (stored.empty()) {
      Store(slot, entry, now, received, true);
      return;
    }
    bool present;
    std::int64_t date = Date(slot, &present);
    if (!present) date = now;
    if (static_cast<std::uint64_t>(date) < oldestDate) {
      oldestDate = static_cast<std::uint64_t>(date);
      oldestSlot = slot;
    }
  }
  Store(oldestSlot, entry, now, received, true);
}

std::string RecentCalls::RedialText() const {
  bool present;
  int best = 0;
  std::int64_t bestDate = Date(0, &present);
  for (int slot = 1; slot < kSlots; ++slot) {
    std::int64_t date = Date(slot, &present);
    if (present && date > bestDate) {
      best = slot;
      bestDate = date;
    }
  }
  return Text(best);
}

std::vector<RecentCall> RecentCalls::List() const {
  std::vector<RecentCall> list;
  const std::int64_t now = clock_.Now();
  for (int slot = 0; slot < kSlots; ++slot) {
    std::string text = Text(slot);
    if (text.empty()) continue;
    bool present;
    std::int64_t date = Date(slot, &present);
    list.push_back({slot, std::move(text), present ? date : now});
  }
  return list;
}

}  // namespace corvina::app
