#include "app/wizards/microphone_monitor.h"

namespace corvina::app {
namespace {
constexpr platform::AudioFormat kMonitorFormat{8000, 1};
}  // namespace

MicrophoneMonitor::MicrophoneMonitor(media::AudioDevices& devices, platform::UiQueue& ui,
                                     std::function<void(int level)> onLevel)
    : devices_(devices), onLevel_(std::move(onLevel)), report_(ui, [this](const int& level) {
        if (capture_ && onLevel_) onLevel_(level);
      }) {}

MicrophoneMonitor::~MicrophoneMonitor() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (capture_) capture_->StopAndJoin();
}

bool MicrophoneMonitor::Listen(const std::string& deviceChoice, int volume) {
  Stop();
  auto input = devices_.OpenCapture(deviceChoice, kMonitorFormat);
  if (!input.stream) return false;
  capture_ = std::make_unique<media::CaptureThread>(
      std::move(input.stream), "record", devices_.Log(), volume,
      [report = &report_](const media::AudioLevels& levels) {
        report->Report(levels.MeterLevel());
      });
  return capture_->Start();
}

void MicrophoneMonitor::SetVolume(int volume) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (capture_) capture_->SetVolume(volume);
}

void MicrophoneMonitor::Stop() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!capture_) return;
  capture_->StopAndJoin();
  capture_.reset();
  if (onLevel_) onLevel_(media::kSilentMeterLevel);
}

}  // namespace corvina::app
