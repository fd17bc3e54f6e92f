// A log sink that keeps every entry, for tests of what is logged and at which level.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/log_sink.h"

namespace corvina::testing {

class RecordingLog final : public platform::LogSink {
 public:
  void Log(std::string_view message, std::uint8_t level) override { entries.emplace_back(std::string(message), level); }
  std::vector<std::pair<std::string, int>> entries;
};

}  // namespace corvina::testing
