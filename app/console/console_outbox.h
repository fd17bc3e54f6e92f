// What waits to be written to one console channel (standard output or a control client).
// Answers are kept, in order; events are bounded: while more than `maxEvents` wait, the
// oldest waiting event is dropped, and in its place the channel gets one line
//   event {"event":"overflow","dropped":N}
// counting every event it lost until that line went out. A line partly written is finished
// before anything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace corvina::app {

class ConsoleOutbox {
 public:
  static constexpr std::size_t kDefaultMaxEvents = 1024;

  explicit ConsoleOutbox(std::size_t maxEvents = kDefaultMaxEvents) : maxEvents_(maxEvents) {}

  // Lines without their end.
  void PushAnswer(std::string line);
  void PushEvent(std::string line);

  bool Empty() const { return lines_.empty(); }
  // Forgets everything waiting (the reader has gone).
  void Clear();
  // The bytes to write next: the rest of the first line, with its "\n".
  std::string_view Front();
  // `bytes` of Front() went out.
  void Consume(std::size_t bytes);

  std::size_t Answers() const { return answers_; }
  std::size_t Events() const { return events_; }
  std::uint64_t DroppedEvents() const { return droppedTotal_; }

 private:
  enum class Kind { kAnswer, kEvent, kNotice };
  struct Line {
    Kind kind;
    std::string text;  // with "\n"; a notice's is made from `dropped` when it is next to go
    std::uint64_t dropped = 0;
  };
  void DropOldestEvent();

  const std::size_t maxEvents_;
  std::deque<Line> lines_;
  std::size_t sentOfFront_ = 0;  // bytes of the first line already written
  std::size_t answers_ = 0;
  std::size_t events_ = 0;
  bool noticeWaiting_ = false;  // a notice not yet begun, which further drops add to
  std::uint64_t droppedTotal_ = 0;
};

}  // namespace corvina::app
