#include "app/policy/do_not_disturb.h"

#include "app/controller/phone_texts.h"

namespace corvina::app {

DoNotDisturb::DoNotDisturb(platform::Settings& settings, platform::LogSink& log, std::function<void(bool)> engineFlag)
    : settings_(settings), log_(log), engineFlag_(std::move(engineFlag)) {}

void DoNotDisturb::Apply(bool on) {
  on_.store(on, std::memory_order_relaxed);
  if (engineFlag_) engineFlag_(on);
}

bool DoNotDisturb::Load() {
  CORVINA_CHECK_THREAD(uiThread_);
  Apply(settings_.GetSettingBool(kSection, kName, false));
  return IsOn();
}

bool DoNotDisturb::SetDoNotDisturb(bool on) {
  CORVINA_CHECK_THREAD(uiThread_);
  Apply(on);
  settings_.SetSettingBool(kSection, kName, on);
  if (on) {
    log_.Log(texts::kDndOn, platform::kLogDoNotDisturb);
  } else {
    log_.Log(texts::kDndOff, platform::kLogInfo);
  }
  return settings_.GetSettingBool(kSection, kName, false);
}

void DoNotDisturb::Store() {
  CORVINA_CHECK_THREAD(uiThread_);
  settings_.SetSettingBool(kSection, kName, IsOn());
}

}  // namespace corvina::app
