#include "media/dtmf_queue.h"

namespace corvina::media {

std::size_t DtmfQueue::Push(std::string_view digits) {
  std::lock_guard lock(writeMutex_);
  std::size_t pushed = 0;
  std::size_t write = write_.load(std::memory_order_relaxed);
  for (char c : digits) {
    const std::size_t next = (write + 1) % kSlots;
    if (next == read_.load(std::memory_order_acquire)) break;  // full: the rest is dropped
    digits_[write] = c;
    write = next;
    write_.store(write, std::memory_order_release);
    ++pushed;
  }
  return pushed;
}

void DtmfQueue::Clear() {
  std::lock_guard lock(writeMutex_);
  read_.store(0);
  write_.store(0);
}

std::optional<char> DtmfQueue::Front() const {
  const std::size_t read = read_.load(std::memory_order_relaxed);
  if (read == write_.load(std::memory_order_acquire)) return std::nullopt;
  return digits_[read];
}

void DtmfQueue::Pop() {
  const std::size_t read = read_.load(std::memory_order_relaxed);
  if (read == write_.load(std::memory_order_acquire)) return;
  read_.store((read + 1) % kSlots, std::memory_order_release);
}

}  // namespace corvina::media
