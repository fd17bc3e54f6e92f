#include "app/logs/status_window.h"

#include "platform/text.h"

namespace corvina::app {

void StatusWindow::AddEntry(std::string_view timeText, std::string_view message, std::uint8_t level) {
  std::lock_guard lock(mutex_);
  std::size_t slot = (oldest_ + count_) % kCapacity;
  if (count_ == kCapacity) {
    oldest_ = (oldest_ + 1) % kCapacity;  // drop the oldest
  } else {
    ++count_;
  }
  Entry& e = entries_[slot];
  e.timeText = std::string(timeText);
  e.message = std::string(platform::CutToUtf16Units(message, platform::kMaxTextUnits));
  e.level = level;
}

std::vector<StatusWindow::Entry> StatusWindow::Entries() const {
  std::lock_guard lock(mutex_);
  std::vector<Entry> out;
  out.reserve(count_);
  for (std::size_t i = 0; i < count_; ++i) out.push_back(entries_[(oldest_ + i) % kCapacity]);
  return out;
}

std::size_t StatusWindow::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace corvina::app
