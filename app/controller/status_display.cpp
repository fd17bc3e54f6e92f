#include "app/controller/status_display.h"

#include "app/controller/dial_text.h"
#include "app/controller/phone_texts.h"
#include "platform/text.h"

namespace corvina::app {

void StatusDisplay::ShowIdle() {
  text_ = texts::kIdleTitle;
  note_.clear();
  shownLine_ = kNoLine;
  start_ = 0;
}

void StatusDisplay::ShowConference(int number) {
  text_ = texts::kConferenceTitle;
  shownLine_ = kConference;
  conferenceNumber_ = number;
}

void StatusDisplay::ShowTransfer() {
  text_ = texts::kTransferTitle;
  shownLine_ = kNoLine;
}

void StatusDisplay::Show(std::string_view text, int line, std::time_t start) {
  text_ = CutToField(text);
  shownLine_ = line;
  start_ = start;
}

void StatusDisplay::SetNote(std::string_view note) { note_ = CutToField(note); }

std::string StatusDisplay::FormatElapsed(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const long hours = static_cast<long>(seconds / 3600);
  const long minutes = static_cast<long>(seconds / 60 % 60);
  const int secs = static_cast<int>(seconds % 60);
  return platform::FormatText(texts::kDisplayElapsed, hours, minutes, secs);
}

DisplayRows StatusDisplay::Paint() {
  DisplayRows rows;
  rows.title = text_;
  const std::time_t now = clock_.Now();
  if (shownLine_ == kNoLine) {
    start_ = now;
    std::tm t = clock_.LocalTime(now);
    rows.left = platform::FormatText(texts::kDisplayDate, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    rows.right = platform::FormatText(texts::kDisplayClock, t.tm_hour, t.tm_min, t.tm_sec);
  } else {
    rows.left = shownLine_ == kConference ? platform::FormatText(texts::kDisplayConference, conferenceNumber_)
                                          : platform::FormatText(texts::kDisplayLine, shownLine_ + 1);
    rows.right = FormatElapsed(start_ == 0 ? 0 : static_cast<std::int64_t>(now - start_));
  }
  if (!note_.empty()) rows.note = platform::FormatText(texts::kDisplayNote, note_.c_str());
  return rows;
}

}  // namespace corvina::app
