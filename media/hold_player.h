// Music on hold: the source a held line plays (Hold.wav from the "System Tones" folder looped,
// or the Lumo stream) and the player that feeds it to the held party. The player's own thread
// makes a new voice sender on the held line's session (paced first, so it follows a sender that
// ran ahead) and writes 20 ms frames into it; the session's pacer keeps it to real time. The
// sender is made and released on the player's thread, so stopping the player (a join) releases
// it before anything else sends on the session.
#pragma once

#include <functional>
#include <string>

#include "media/audio_sink.h"
#include "media/lumo_source.h"
#include "platform/worker_thread.h"

namespace corvina::media {

enum class HoldSourceKind { kNone, kFile, kLumo };
// "file", "lumo" or "" for none.
std::string_view HoldSourceName(HoldSourceKind kind);

struct HoldSource {
  AudioSinkPtr source;  // null: silence (a missing file)
  HoldSourceKind kind = HoldSourceKind::kNone;
};

struct HoldSettings {
  bool useLumo = false;                        // `UseLumoServer`
  std::string lumoServer{kDefaultLumoServer};  // `LumoServer`
};

// The Lumo source on `lumo` (its server replaced by the settings') when the link is on;
// otherwise Hold.wav of the data folder's tones looped, or, when it cannot be opened, no source
// and "Cannot find system file: " + path in the log (level 1).
HoldSource MakeHoldSource(const HoldSettings& settings, const std::string& dataFolder, LumoSourceConfig lumo);

class HoldPlayer final : public platform::WorkerThread {
 public:
  // Runs on the player's thread: the new sender of the held line (null: nothing is sent).
  using SenderMaker = std::function<AudioSinkPtr()>;

  HoldPlayer(AudioSinkPtr source, SenderMaker makeSender)
      : WorkerThread("hold player"), source_(std::move(source)), makeSender_(std::move(makeSender)) {}
  ~HoldPlayer() override { StopAndJoin(); }

 protected:
  void Run() override;

 private:
  const AudioSinkPtr source_;  // read only by the player's thread once started
  const SenderMaker makeSender_;
};

}  // namespace corvina::media
