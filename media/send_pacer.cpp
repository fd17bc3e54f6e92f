#include "media/send_pacer.h"

#include <algorithm>

namespace corvina::media {
namespace {

constexpr std::int64_t kRebaseMs = 100000;
constexpr std::int32_t kRebaseSamples = 800000;
constexpr std::int64_t kSleepAboveMs = 240;
constexpr int kSleepMs = 20;
constexpr std::int64_t kResetBelowMs = -20;
constexpr std::int64_t kStartSlackMs = 20;
constexpr std::int64_t kStartCapMs = 200;

std::int32_t SamplesSince(std::uint32_t base, std::uint32_t timestamp) {
  return static_cast<std::int32_t>(timestamp - base);
}

}  // namespace

std::int64_t SendPacer::Ahead(std::int64_t nowMs, std::uint32_t timestamp) const {
  return SamplesSince(baseTimestamp_, timestamp) / 8 + baseMs_ - nowMs;
}

int SendPacer::AfterSend(std::int64_t nowMs, std::uint32_t timestamp) {
  if (nowMs - baseMs_ >= kRebaseMs && SamplesSince(baseTimestamp_, timestamp) >= kRebaseSamples) {
    baseMs_ += kRebaseMs;
    baseTimestamp_ += static_cast<std::uint32_t>(kRebaseSamples);
  }
  const std::int64_t ahead = Ahead(nowMs, timestamp);
  if (ahead > kSleepAboveMs) return kSleepMs;
  if (ahead < kResetBelowMs) {
    baseMs_ = nowMs;
    baseTimestamp_ = timestamp;
  }
  return 0;
}

int SendPacer::StartDelay(std::int64_t nowMs, std::uint32_t timestamp) const {
  const std::int64_t ahead = Ahead(nowMs, timestamp);
  if (ahead <= kStartSlackMs) return 0;
  return static_cast<int>(std::min(ahead, kStartCapMs) - kStartSlackMs);
}

}  // namespace corvina::media
