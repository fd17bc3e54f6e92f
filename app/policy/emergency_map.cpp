#include "app/policy/emergency_map.h"

#include "app/controller/dial_text.h"
#include "app/controller/phone_texts.h"

namespace corvina::app {
namespace {

constexpr const char* kSection = "Settings";
constexpr std::array<std::string_view, 5> kFixedNumbers = {"911", "000", "999", "119", "112"};

bool IsEmergencyNumber(const platform::Settings& settings, std::string_view number) {
  for (std::string_view fixed : kFixedNumbers) {
    if (number == fixed) return true;
  }
  std::string other = settings.GetSettingString(kSection, "OtherEmergency", "");
  return !other.empty() && number == other;
}

}  // namespace

DialTarget MapEmergency(const platform::Settings& settings, platform::LogSink& log, std::string_view number, int line,
                        const std::array<bool, 2>& lineBusy) {
  DialTarget target{std::string(number), line};
  if (!settings.GetSettingBool(kSection, "EnableEmergencyMap", false)) return target;
  if (!IsEmergencyNumber(settings, number)) return target;
  log.Log(texts::kEmergencyMapped, platform::kLogInfo);
  std::string mapped(TrimBlanks(settings.GetSettingString(kSection, "EmergencyMap", "")));
  if (!mapped.empty()) target.number = mapped;
  int emergencyLine = settings.GetSettingInt(kSection, "EmergencyLine", 0);
  if ((emergencyLine == 0 || emergencyLine == 1) && !lineBusy[static_cast<std::size_t>(emergencyLine)]) {
    target.line = emergencyLine;
  }
  return target;
}

}  // namespace corvina::app
