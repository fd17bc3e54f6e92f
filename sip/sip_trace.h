// The SIP trace file: one file per day in the activity log's Logs folder, each line stamped
// "HH:MM:SS ", raw datagrams unstamped after their line and followed by a separator. The file
// is made afresh the first time something is traced after start or after the date changes,
// and stays open. Only what goes over the wire is traced; credentials appear only as digests.
#pragma once

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace corvina::sip {

class SipTrace {
 public:
  SipTrace(std::string logsFolder, const platform::WallClock& clock);
  ~SipTrace();
  SipTrace(const SipTrace&) = delete;
  SipTrace& operator=(const SipTrace&) = delete;

  // Any thread.
  void Line(std::string_view text);
  // A stamped line, then the datagram's bytes and the separator.
  void Datagram(std::string_view line, std::string_view bytes);

  // Switches the trace on or off at once (any thread): an off trace writes and opens nothing.
  void SetOn(bool on) { on_.store(on); }
  bool On() const { return on_.load(); }

  // The file that a trace written now goes to.
  std::string CurrentFilePath() const;

 private:
  bool OpenForTodayLocked();
  void WriteStampLocked();

  const std::string folder_;
  const platform::WallClock& clock_;
  std::mutex mutex_;  // guards the file and its day
  std::FILE* file_ = nullptr;
  int fileDay_ = -1;  // year * 1000 + day of the year of the open file
  std::atomic<bool> on_{true};  // any thread
};

}  // namespace corvina::sip
