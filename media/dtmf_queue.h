// The digits waiting to be sent: a ring of 260 places, of which 259 can hold digits (read and
// write index equal means empty). A digit that finds the ring full is dropped, never written
// over unread ones. Any thread may push (under the queue's lock); only the digit sender's
// thread reads and pops, through atomic indices; Clear belongs to whoever (re)starts that
// thread, while it is not running.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string_view>

namespace corvina::media {

class DtmfQueue {
 public:
  static constexpr std::size_t kSlots = 260;

  // Appends each character of `digits` while there is room; returns how many went in.
  std::size_t Push(std::string_view digits);
  void Clear();

  // The digit sender's side.
  std::optional<char> Front() const;
  void Pop();
  bool Empty() const { return read_.load(std::memory_order_acquire) == write_.load(std::memory_order_acquire); }

 private:
  std::mutex writeMutex_;               // serialises the writers: Push and Clear
  std::array<char, kSlots> digits_{};   // a slot is written before write_ publishes it
  std::atomic<std::size_t> read_{0};    // the digit sender's thread
  std::atomic<std::size_t> write_{0};   // under writeMutex_
};

}  // namespace corvina::media
