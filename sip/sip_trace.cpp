#include "sip/sip_trace.h"

#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

SipTrace::SipTrace(std::string logsFolder, const platform::WallClock& clock)
    : folder_(std::move(logsFolder)), clock_(clock) {}

SipTrace::~SipTrace() {
  if (file_ != nullptr) std::fclose(file_);
}

std::string SipTrace::CurrentFilePath() const {
  std::tm t = clock_.LocalTime(clock_.Now());
  return folder_ + "/" + FormatWire(wire::kTraceFileName, {t.tm_year % 100, t.tm_mon + 1, t.tm_mday});
}

bool SipTrace::OpenForTodayLocked() {
  std::tm t = clock_.LocalTime(clock_.Now());
  int day = (t.tm_year + 1900) * 1000 + t.tm_yday;
  if (file_ != nullptr && day == fileDay_) return true;
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(CurrentFilePath().c_str(), "wb");
  fileDay_ = day;
  return file_ != nullptr;
}

void SipTrace::WriteStampLocked() {
  std::tm t = clock_.LocalTime(clock_.Now());
  std::string stamp = FormatWire(wire::kTraceStamp, {t.tm_hour, t.tm_min, t.tm_sec});
  std::fwrite(stamp.data(), 1, stamp.size(), file_);
}

void SipTrace::Line(std::string_view text) {
  if (!On()) return;
  std::lock_guard<std::mutex> hold(mutex_);
  if (!OpenForTodayLocked()) return;
  WriteStampLocked();
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

void SipTrace::Datagram(std::string_view line, std::string_view bytes) {
  if (!On()) return;
  std::lock_guard<std::mutex> hold(mutex_);
  if (!OpenForTodayLocked()) return;
  WriteStampLocked();
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fwrite(bytes.data(), 1, bytes.size(), file_);
  std::fwrite(wire::kTraceSeparator.data(), 1, wire::kTraceSeparator.size(), file_);
  std::fflush(file_);
}

}  // namespace corvina::sip
