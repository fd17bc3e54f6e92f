// The two lines' recorders: each line's media session feeds its recorder through the session's
// recording taps, and a recording started here gets its sink from the program's factory (a WAV
// file, or the Orrin link when `Orrinlink` is on). User-interface thread.
#pragma once

#include <functional>
#include <memory>

#include "app/controller/call_recording.h"
#include "media/line_recorder.h"
#include "media/media_session.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/thread_checker.h"

namespace corvina::app {

class CallRecorders final : public CallRecording {
 public:
  using SessionOf = std::function<media::MediaSession&(int line)>;

  CallRecorders(platform::Settings& settings, platform::LogSink& log, const platform::WallClock& clock,
                std::string dataFolder, media::RecordingSinkFactory factory, const SessionOf& sessionOf);
  // Every running recording is stopped (its file completed).
  ~CallRecorders() override;
  CallRecorders(const CallRecorders&) = delete;
  CallRecorders& operator=(const CallRecorders&) = delete;

  std::optional<media::RecordingTarget> Start(int line, std::string_view name) override;
  void Stop(int line) override;
  std::string Folder() override;
  void StopAll();

 private:
  platform::ThreadChecker uiThread_;
  platform::Settings& settings_;
  platform::LogSink& log_;
  const platform::WallClock& clock_;
  const std::string dataFolder_;
  const media::RecordingSinkFactory factory_;
  // Shared with the sessions' taps; the recorders lock themselves.
  std::shared_ptr<media::LineRecorder> recorders_[2];
  std::function<void()> detach_;  // takes the taps out of the sessions
};

}  // namespace corvina::app
