// Writing to and reading lines from file descriptors: the one write-everything loop, the one
// non-blocking write, and the one splitter of a byte stream into bounded lines, for every
// pipe, socket and file of the program.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvina::platform {

// Writes all of `data`, blocking as `fd` does, resuming after signals. A socket whose peer
// has gone is an error, never SIGPIPE. False on failure; `written` (may be null) gets the
// bytes that did go out, so a caller can undo a partial write.
bool WriteAll(int fd, std::string_view data, std::size_t* written = nullptr);

// Writes as much of `data` as `fd` takes at once without blocking (sockets are asked not to
// block; other descriptors must be non-blocking). Returns the bytes written - 0 when `fd`
// takes nothing now - or -1 when it failed for good.
long WriteSome(int fd, std::string_view data);

// A descriptor for writing to `fd` without blocking and without changing `fd` itself (whose
// open file may be shared with other processes, such as a terminal): a private non-blocking
// open of the same pipe or terminal, or a duplicate of a socket or regular file (files do not
// hold writers up). -1 on failure. The caller closes it.
int OpenNonBlockingWriter(int fd);

// Waits up to `timeoutMs` for `fd` to take more bytes. False on time-out or failure.
bool WaitWritable(int fd, int timeoutMs);

// What ReadSome returns when `fd` has nothing now (or a signal came first).
inline constexpr long kNothingYet = -2;
// Reads what `fd` has now, at most `size` bytes: the count, 0 at the end of the stream,
// kNothingYet, or -1 when it failed for good.
long ReadSome(int fd, char* buffer, std::size_t size);

// Closes a descriptor the caller owns and does not keep in a UniqueFd.
void CloseFd(int fd);

// Asks a socket to keep at most about `bytes` unsent in the kernel; false when it refuses.
bool SetSendBuffer(int fd, int bytes);

// Splits a byte stream into lines ended by "\n" (not part of the line). A line longer than
// `maxLineBytes` is reported once as too long and skipped up to its end.
class LineSplitter {
 public:
  enum class Result { kNone, kLine, kTooLong };

  explicit LineSplitter(std::size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

  void Append(std::string_view bytes) { buffer_.append(bytes); }
  // True when Next() has a line (or an over-long one's end) to give without more bytes.
  bool HasLine() const { return buffer_.find('\n') != std::string::npos; }
  // The next complete line, kTooLong for an over-long one, or kNone until more bytes come.
  Result Next(std::string* line);
  // At the end of the stream: the last line when it had no "\n" (and was not too long).
  bool TakeRest(std::string* line);

 private:
  const std::size_t maxLineBytes_;
  std::string buffer_;
  bool discarding_ = false;  // inside an over-long line, up to its "\n"
};

// Reads the next line from `fd` into `line` within `timeoutMs` in all, keeping bytes that
// follow it in `splitter` for the next call. False on time-out, error, end of stream or an
// over-long line.
bool ReadLine(int fd, int timeoutMs, LineSplitter& splitter, std::string* line);

}  // namespace corvina::platform
