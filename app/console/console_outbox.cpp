#include "app/console/console_outbox.h"

#include "app/console/console_event.h"

namespace corvina::app {

void ConsoleOutbox::PushAnswer(std::string line) {
  lines_.push_back(Line{Kind::kAnswer, std::move(line) + "\n"});
  ++answers_;
}

void ConsoleOutbox::PushEvent(std::string line) {
  lines_.push_back(Line{Kind::kEvent, std::move(line) + "\n"});
  ++events_;
  if (events_ > maxEvents_) DropOldestEvent();
}

void ConsoleOutbox::DropOldestEvent() {
  // The first line may be on its way out; it stays.
  std::size_t i = sentOfFront_ > 0 ? 1 : 0;
  while (i < lines_.size() && lines_[i].kind != Kind::kEvent) ++i;
  if (i == lines_.size()) return;
  --events_;
  ++droppedTotal_;
  if (!noticeWaiting_) {
    lines_[i] = Line{Kind::kNotice, {}, 1};
    noticeWaiting_ = true;
    return;
  }
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
  for (std::size_t j = sentOfFront_ > 0 ? 1 : 0; j < lines_.size(); ++j) {
    if (lines_[j].kind == Kind::kNotice) {
      ++lines_[j].dropped;
      break;
    }
  }
}

void ConsoleOutbox::Clear() {
  lines_.clear();
  sentOfFront_ = 0;
  answers_ = 0;
  events_ = 0;
  noticeWaiting_ = false;
}

std::string_view ConsoleOutbox::Front() {
  if (lines_.empty()) return {};
  Line& first = lines_.front();
  if (first.kind == Kind::kNotice && sentOfFront_ == 0) {
    first.text = ConsoleEvent("overflow").Add("dropped", static_cast<std::int64_t>(first.dropped)).Text() + "\n";
  }
  return std::string_view(first.text).substr(sentOfFront_);
}

void ConsoleOutbox::Consume(std::size_t bytes) {
  if (lines_.empty()) return;
  sentOfFront_ += bytes;
  // Once a notice has begun to go out its count is fixed; later drops start a new one.
  if (lines_.front().kind == Kind::kNotice && bytes > 0) noticeWaiting_ = false;
  if (sentOfFront_ < lines_.front().text.size()) return;
  if (lines_.front().kind == Kind::kAnswer) --answers_;
  if (lines_.front().kind == Kind::kEvent) --events_;
  lines_.pop_front();
  sentOfFront_ = 0;
}

}  // namespace corvina::app
