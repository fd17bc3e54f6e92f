// The Lumo hold source: music on hold fetched from a Lumo on-hold player server. The source's
// own thread connects (stop-aware, 10000 ms), sends 0xB1 0x00, reads the server's value (at
// least 255), puts 1028 bytes of µ-law silence in the ring and then appends each frame's payload
// as it arrives, waiting while the ring is full. The reader (the hold player's thread) takes up
// to the samples it asks for, decoded from µ-law at 8000 Hz, and zeros for the rest: a server
// that falls behind or goes away leaves the held party in silence, and the call goes on.
#pragma once

#include <memory>
#include <string>

#include "media/audio_sink.h"
#include "media/lumo_stream.h"
#include "platform/event.h"
#include "platform/log_sink.h"
#include "platform/name_resolver.h"
#include "platform/worker_thread.h"

namespace corvina::media {

struct LumoSourceConfig {
  std::string server{kDefaultLumoServer};      // host, optionally ":port" (default 606)
  platform::LogSink* log = nullptr;            // outlives the source's thread
  platform::NameResolver* resolver = nullptr;  // outlives the source's thread; null: dotted only
  // Takes over a thread that has not ended within kLumoCloseWaitMs of Close (one stuck in a
  // name look-up); without it Close waits for the thread.
  platform::WorkerRegistry* registry = nullptr;
  int connectTimeoutMs = 10000;
  int sendTimeoutMs = 5000;
  int valueTimeoutMs = 10000;
  int headerTimeoutMs = 60000;
  int payloadTimeoutMs = 2000;
  int spaceWaitMs = 60000;  // one slice of the wait for room in the ring
};

inline constexpr int kLumoCloseWaitMs = 1000;
inline constexpr std::size_t kLumoMaxAddresses = 4;

class LumoSource final : public AudioSink {
 public:
  // Starts the source's thread.
  explicit LumoSource(LumoSourceConfig config);
  ~LumoSource() override;

  // The reading thread: up to samples.size() decoded samples, zeros for the rest.
  std::size_t Transfer(std::span<std::int32_t> samples) override;
  // Stops the thread (any thread but the source's own; the owner's).
  void Close();

  // The thread still connects or streams.
  bool Running() const;
  // µ-law bytes waiting in the ring.
  std::size_t Buffered() const;

  // What the reader and the source's thread share; outlives the source while the thread runs.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<platform::WorkerThread> thread_;  // the owner's thread
  platform::WorkerRegistry* registry_;
};

// The link test of the Hold option page: connects and logs in as the source does (the same
// time-outs, every wait cut short by `stop`), then hangs up; true when the server accepted.
// Blocks: run it off the user-interface thread.
bool TestLumoLink(const LumoSourceConfig& config, platform::Event* stop);

}  // namespace corvina::media
