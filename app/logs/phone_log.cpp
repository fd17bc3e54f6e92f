#include "app/logs/phone_log.h"

#include "app/controller/phone_texts.h"
#include "platform/append_file.h"
#include "platform/text.h"

namespace corvina::app {

std::string PhoneLog::QuoteSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '"') {
      out += "\"\"";
    } else if (c == '\r' || c == '\n') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::string PhoneLog::FormatRow(const std::tm& start, const CallDurations& d, std::string_view address,
                                std::string_view name) {
  auto minutes = [](std::int64_t v) { return static_cast<long long>(v / 60); };
  auto seconds = [](std::int64_t v) { return static_cast<long long>(v % 60); };
  return platform::FormatText(texts::kPhoneLogRow, start.tm_year + 1900, start.tm_mon + 1, start.tm_mday,
                              start.tm_hour, start.tm_min, start.tm_sec, minutes(d.total), seconds(d.total),
                              minutes(d.connected), seconds(d.connected), minutes(d.hold), seconds(d.hold),
                              QuoteSafe(address).c_str(), QuoteSafe(name).c_str());
}

std::string PhoneLog::FilePath(const std::tm& start) const {
  return folder_ + "/" + platform::FormatText(texts::kPhoneLogFileName, start.tm_year + 1900, start.tm_mon + 1);
}

bool PhoneLog::WritePhoneLog(CallTiming& timing, std::string_view address, std::string_view name) {
  const CallDurations d = timing.Finish(clock_.Now());
  timing.Clear();
  const std::tm start = clock_.LocalTime(d.start);
  const std::string row = FormatRow(start, d, address, name);
  return platform::AppendRecord(FilePath(start), platform::ToUtf16Le(row));
}

}  // namespace corvina::app
