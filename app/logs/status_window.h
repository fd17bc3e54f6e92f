// The status window feature, which shows the recent activity-log entries in a pane of the main
// window. Its parts all carry the name: StatusWindowSink (what the activity log forwards
// entries to), StatusWindow (the ring of entries below), the controller's StatusWindowFeed
// (fills the ring and asks the view to redraw) and the views' status window list.
//
// StatusWindow holds the most recent 128 entries, oldest first; the 129th entry replaces the
// oldest. Safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::app {

// What receives activity-log entries as they are written.
class StatusWindowSink {
 public:
  virtual ~StatusWindowSink() = default;
  virtual void AddEntry(std::string_view timeText, std::string_view message, std::uint8_t level) = 0;
};

class StatusWindow final : public StatusWindowSink {
 public:
  static constexpr std::size_t kCapacity = 128;

  struct Entry {
    std::string timeText;
    std::string message;  // at most 259 characters
    std::uint8_t level = 0;
  };

  void AddEntry(std::string_view timeText, std::string_view message, std::uint8_t level) override;
  std::vector<Entry> Entries() const;
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::array<Entry, kCapacity> entries_;
  std::size_t oldest_ = 0;
  std::size_t count_ = 0;
};

}  // namespace corvina::app
