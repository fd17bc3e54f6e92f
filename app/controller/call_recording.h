// Recording of the phone's calls, as the phone controller asks for it: start and stop per line,
// and where the recordings go. The call lines' recorders implement it; controller tests use a
// recording fake.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "media/recording_sink.h"
#include "platform/settings.h"

namespace corvina::app {

class CallRecording {
 public:
  virtual ~CallRecording() = default;
  // Starts recording line `line` (0 or 1) under `name`; nothing, and the running recording
  // kept, when the line records already. A sink that cannot record says so in the log and
  // discards: the call goes on either way. User-interface thread.
  virtual std::optional<media::RecordingTarget> Start(int line, std::string_view name) = 0;
  // Ends the line's recording (the file is complete when this returns).
  virtual void Stop(int line) = 0;
  // The recordings folder, created when missing.
  virtual std::string Folder() = 0;
};

// The `Recorder` section; `dataFolder` is the default folder.
media::RecorderSettings ReadRecorderSettings(const platform::Settings& settings, const std::string& dataFolder);

}  // namespace corvina::app
