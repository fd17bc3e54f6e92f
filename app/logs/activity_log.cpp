#include "app/logs/activity_log.h"

#include <cstdarg>
#include <cstdio>

#include "platform/append_file.h"
#include "platform/paths.h"
#include "platform/product.h"
#include "platform/text.h"

namespace corvina::app {
namespace {

constexpr const char* kFileNameFormat = "%.4d-%.2d-%.2d " CORVINA_NAME " Log.txt";
constexpr const char* kLogsFolder = "/Logs";
constexpr const char* kTimeFormat = "%.2d:%.2d:%.2d";
constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

ActivityLog::ActivityLog(const std::string& dataFolder, const platform::WallClock& clock)
    : clock_(clock), folder_(dataFolder + kLogsFolder) {
  platform::EnsureFolder(folder_);
}

void ActivityLog::UpdateStamp(std::time_t now) {
  if (now == cachedSecond_ && !filePath_.empty()) return;
  std::tm t = clock_.LocalTime(now);
  char text[32];
  std::snprintf(text, sizeof text, kTimeFormat, t.tm_hour, t.tm_min, t.tm_sec);
  timeText_ = text;
  char name[64];
  std::snprintf(name, sizeof name, kFileNameFormat, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  filePath_ = folder_ + "/" + name;
  cachedSecond_ = now;
}

std::string ActivityLog::CurrentFilePath() {
  std::lock_guard lock(mutex_);
  UpdateStamp(clock_.Now());
  return filePath_;
}

void ActivityLog::Log(std::string_view message, std::uint8_t level) {
  std::string timeText;
  std::string cleanMessage = platform::SanitizeUtf8(message);
  {
    std::lock_guard lock(mutex_);
    UpdateStamp(clock_.Now());
    timeText = timeText_;
    // The line, end included, fits the line buffer in characters and in UTF-8 bytes; a longer
    // message is cut on a character boundary so the entry still ends its line.
    const std::size_t room = kLineBufferUnits - 1 - timeText.size() - 1 - kLineEnd.size();
    std::string_view body = platform::CutToUtf16Units(cleanMessage, room);
    body = platform::CutToBytes(body, room);
    std::string line;
    line.reserve(timeText.size() + 1 + body.size() + kLineEnd.size());
    line.append(timeText).append(" ").append(body).append(kLineEnd);
    platform::AppendRecord(filePath_, line);
  }
  if (level == platform::kLogDebug) return;  // the file only: the status pane is the user's
  std::lock_guard lock(statusMutex_);
  if (statusWindow_ != nullptr) statusWindow_->AddEntry(timeText, cleanMessage, level);
}

void ActivityLog::AttachStatusWindow(StatusWindowSink* window) {
  std::lock_guard lock(statusMutex_);
  statusWindow_ = window;
}

void ActivityLog::LogFormat(std::uint8_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = platform::FormatTextV(format, args);
  va_end(args);
  Log(platform::CutToUtf16Units(text, kFormatUnits), level);
}

}  // namespace corvina::app
