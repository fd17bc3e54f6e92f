// Where a line's call recording goes. The line recorder mixes the received and the sent
// direction and hands the mix to one RecordingSink: a WAV file in the recordings folder, or a
// link that streams it to an Orrin recording server. Sinks are made by a RecordingSinkFactory
// from a RecordingRequest, so the controller never knows which kind it records to.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/log_sink.h"

namespace corvina::media {

// The server list the Orrin link uses when `OrrinHost` is not set.
inline constexpr std::string_view kDefaultOrrinHost = "127.0.0.1:4080";
inline constexpr std::uint16_t kDefaultOrrinPort = 4080;

// The `Recorder` section of the settings, read once when a recording starts.
struct RecorderSettings {
  std::string folder;           // `Folder`, or the data folder's default when unset
  bool autoRecord = false;      // `Auto`: record every call from the moment it connects
  bool orrinLink = false;       // `Orrinlink`: stream to an Orrin server instead of a file
  std::string orrinHost{kDefaultOrrinHost};  // `OrrinHost`
  std::string orrinAccessCode;  // `OrrinAccessCode`
};

// What the console reports about a running recording.
struct RecordingTarget {
  enum class Kind { kFile, kOrrin };
  Kind kind = Kind::kFile;
  std::string where;  // the file's path, or "host:port" of the Orrin server
};

class RecordingSink {
 public:
  virtual ~RecordingSink() = default;

  // The mixed call audio: 8000 Hz mono at the internal sample scale (16 times 16-bit), already
  // clipped to the 16-bit range. Called by the receive or the capture thread with the line
  // recorder's lock held, so it never blocks on a socket or a slow disk wait of more than one
  // buffered write, and never fails towards the caller: a broken sink drops what it gets.
  virtual void Write(std::span<const std::int32_t> mixed) = 0;
  // Ends the recording: the file gets its true sizes and is closed, or the link thread is
  // stopped and joined (bounded: every wait of the link is stop-aware). Called once, with no
  // lock held, by the thread that stopped the recording; writes that still arrive are dropped.
  virtual void Close() = 0;
  virtual RecordingTarget Target() const = 0;
};

// Shared by the line recorder (written under its lock) and whoever stops the recording.
using RecordingSinkPtr = std::shared_ptr<RecordingSink>;

struct RecordingRequest {
  RecorderSettings settings;
  std::string name;    // "\"Alice\" 555-1234": the remote party's display name and number
  std::tm startLocal{};  // local time the recording starts (the file name's date and time)
  platform::LogSink* log = nullptr;  // outlives every sink (the program's activity log)
};

// Makes the sink a request asks for; never returns nullptr (a sink that cannot record
// reports why to the log and discards).
using RecordingSinkFactory = std::function<RecordingSinkPtr(const RecordingRequest&)>;

// The WAV file sink: "YYYY-MM-DD HH-MM NAME.wav" in settings.folder (media/recording_file.cpp).
RecordingSinkPtr MakeWavRecordingSink(const RecordingRequest& request);

// The program's factory: requests with settings.orrinLink go to `orrin` (the Orrin link's
// maker, wired in by the program), all others, and all when `orrin` is empty, to the WAV sink.
RecordingSinkFactory ChooseRecordingSink(RecordingSinkFactory orrin);

}  // namespace corvina::media
