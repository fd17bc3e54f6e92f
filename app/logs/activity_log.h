// The program's journal: one UTF-8 text file per local day in "Logs" of the phone's data
// folder, one line "HH:MM:SS message" per entry, ended by CR LF. Each entry is also forwarded to
// the status pane when one is attached. The file is opened, appended to and closed for every
// entry, so nothing is held open and a crash loses nothing already logged.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

#include "app/logs/status_window.h"
#include "platform/clock.h"
#include "platform/log_sink.h"

namespace corvina::app {

class ActivityLog final : public platform::LogSink {
 public:
  // Creates the phone's data folder and "Logs" inside it (existing folders are fine).
  ActivityLog(const std::string& dataFolder, const platform::WallClock& clock);

  void Log(std::string_view message, std::uint8_t level) override;
  // printf-style; the text is cut at 511 characters.
  void LogFormat(std::uint8_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // Once DetachStatusWindow() has returned, no entry reaches the old window any more, even
  // from an entry being written on another thread at that moment.
  void AttachStatusWindow(StatusWindowSink* window);
  void DetachStatusWindow() { AttachStatusWindow(nullptr); }

  const std::string& Folder() const { return folder_; }
  // The file that an entry written now would go to.
  std::string CurrentFilePath();

  static constexpr std::size_t kLineBufferUnits = 8192;
  static constexpr std::size_t kFormatUnits = 511;

 private:
  // Refreshes the cached time text and file path when the second has changed.
  void UpdateStamp(std::time_t now);

  const platform::WallClock& clock_;
  std::string folder_;
  std::mutex statusMutex_;
  StatusWindowSink* statusWindow_ = nullptr;

  std::mutex mutex_;  // guards the cached stamp and serialises file appends
  std::time_t cachedSecond_ = 0;
  std::string timeText_;
  std::string filePath_;
};

}  // namespace corvina::app
