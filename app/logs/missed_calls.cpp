#include "app/logs/missed_calls.h"

#include "app/controller/phone_texts.h"
#include "platform/text.h"

namespace corvina::app {

bool MissedCalls::AccountMissedCall(const platform::Settings& settings, bool unanswered, std::string_view displayName,
                          std::string_view address) {
  if (!unanswered || !settings.GetSettingBool("Settings", "ShowMissedCalls", true)) return false;
  std::tm t = clock_.LocalTime(clock_.Now());
  std::string time = platform::FormatText(texts::kTimeOfDay, t.tm_hour, t.tm_min, t.tm_sec);
  entries_.push_back(platform::FormatText(texts::kMissedEntry, std::string(displayName).c_str(),
                                          std::string(address).c_str(), time.c_str()));
  if (entries_.size() > kKeptEntries) entries_.pop_front();
  ++count_;
  return true;
}

void MissedCalls::Clear() {
  count_ = 0;
  entries_.clear();
}

std::string MissedCalls::Text() const {
  std::string text;
  for (const std::string& entry : entries_) text += entry;
  return text;
}

std::string MissedCalls::Summary() const {
  if (count_ == 0) return {};
  return platform::FormatText(texts::kMissedSummary, static_cast<long long>(count_)) + Text();
}

}  // namespace corvina::app
