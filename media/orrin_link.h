// The Orrin link: a recording sink that streams the mixed call audio as GSM frames over TCP to
// an Orrin recording server. Writes go into a ring without blocking; the link's own thread
// connects (trying the hosts of the list in round-robin order), greets, names the recording and
// sends one 35-byte frame per 160 samples. Every failure is one activity-log line and ends the
// link; a finished link drops what it is given and the call goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "media/orrin_protocol.h"
#include "media/recording_sink.h"
#include "platform/event.h"
#include "platform/log_sink.h"
#include "platform/name_resolver.h"
#include "platform/worker_thread.h"

namespace corvina::media {

struct OrrinLinkConfig {
  std::string hosts{kDefaultOrrinHost};
  std::string accessCode;
  std::string name;
  platform::LogSink* log = nullptr;            // outlives the link's thread
  platform::NameResolver* resolver = nullptr;  // outlives the link's thread
  OrrinRoundRobin* roundRobin = &SharedOrrinRoundRobin();
  // Takes over a thread that has not ended within kOrrinCloseWaitMs of Close (one stuck in a
  // name look-up); without it Close waits for the thread.
  platform::WorkerRegistry* registry = nullptr;
  int connectTimeoutMs = 60000;
  int sendTimeoutMs = 5000;
  int replyTimeoutMs = 5000;
  int dataWaitMs = 60000;  // one slice of the wait for audio
};

// The ring's size in bytes: 4 bytes a sample, one byte kept free to tell full from empty.
inline constexpr std::size_t kOrrinRingBytes = 256001;
// The kernel send buffer of the link's socket: a server that stops reading fills it at once,
// so the send time-out finds it.
inline constexpr int kOrrinSendBufferBytes = 8192;
inline constexpr int kOrrinCloseWaitMs = 1000;

class OrrinLink final : public RecordingSink {
 public:
  // Advances the round-robin index and starts the link's thread.
  explicit OrrinLink(OrrinLinkConfig config);
  ~OrrinLink() override;

  // Any one thread at a time (the line recorder's lock): appends to the ring, or drops the
  // whole write when it does not fit or the link has finished.
  void Write(std::span<const std::int32_t> mixed) override;
  void Close() override;
  RecordingTarget Target() const override;

  bool Finished() const;
  std::uint64_t DroppedSamples() const;

  // What the writer and the link's thread share; outlives the link while the thread runs.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<platform::WorkerThread> thread_;  // owner's thread (the one that made it)
  platform::WorkerRegistry* registry_;
};

// The link test of the Record option page: connects to the first host of the list that
// answers and logs in with the access code as a link does (the same time-outs, every wait cut
// short by `stop`), then hangs up; true when the server accepted the code. Blocks: run it off
// the user-interface thread.
bool TestOrrinLink(const OrrinLinkConfig& config, platform::Event* stop);

// The factory's Orrin maker for the program: links on `resolver`, with `registry` for their
// threads.
RecordingSinkFactory MakeOrrinLinkFactory(platform::NameResolver& resolver, platform::WorkerRegistry* registry);

}  // namespace corvina::media
