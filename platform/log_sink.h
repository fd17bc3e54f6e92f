// Where every subsystem writes its activity-log entries. The program-wide activity log (in
// app/) implements it; libraries below app take a LogSink& so they can be tested with a fake.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvina::platform {

// Entry levels.
enum LogLevel : std::uint8_t {
  kLogInfo = 0,
  kLogError = 1,
  kLogDoNotDisturb = 2,
  kLogIntercomRefused = 3,
  // For whoever reads the log file after a fault: written to the file, never shown to the user.
  kLogDebug = 4,
};

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Appends one entry (UTF-8 text). Never fails towards the caller.
  virtual void Log(std::string_view message, std::uint8_t level) = 0;
};

// A sink that drops everything, for code paths and tests that do not care.
class NullLogSink final : public LogSink {
 public:
  void Log(std::string_view, std::uint8_t) override {}
};

}  // namespace corvina::platform
