// The Orrin recording protocol, both ends: the recording phone connects over TCP, sends a
// 66-byte greeting (0x1B, 0x00, a 64-byte zero-terminated access code), reads a 2-byte reply
// ('<' 0 accepted, '<' 3 access code refused), sends the recording name (0xFF, n, n bytes of
// UTF-8) and then 35-byte frames (0x80, 0x21, one 33-byte GSM frame of 160 samples) until it
// closes. This file holds the texts, the host list, the messages the phone sends and the
// reader the server parses them with.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/gsm_codec.h"
#include "media/recording_sink.h"

namespace corvina::media {

// More hosts than this in the list are ignored.
inline constexpr std::size_t kOrrinMaxHosts = 32;
// A host name gives at most this many addresses to try.
inline constexpr std::size_t kOrrinMaxAddresses = 4;

inline constexpr std::size_t kOrrinGreetingBytes = 66;
inline constexpr std::size_t kOrrinCodeField = 64;
inline constexpr std::size_t kOrrinMaxCodeBytes = kOrrinCodeField - 1;
inline constexpr std::size_t kOrrinMaxNameBytes = 255;
inline constexpr std::size_t kOrrinReplyBytes = 2;
inline constexpr std::size_t kOrrinFrameBytes = 2 + kGsmFrameBytes;
inline constexpr std::uint8_t kOrrinGreetingTag = 0x1B;
inline constexpr std::uint8_t kOrrinNameTag = 0xFF;
inline constexpr std::uint8_t kOrrinFrameTag = 0x80;
inline constexpr std::uint8_t kOrrinReplyTag = '<';
inline constexpr std::uint8_t kOrrinAccepted = 0;
inline constexpr std::uint8_t kOrrinRefused = 3;

// The activity-log texts of the link (level 1).
inline constexpr std::string_view kOrrinConnectFailedText = "Unable to connect to Orrin Recorder @ ";
inline constexpr std::string_view kOrrinBrokenText = "Connection with Orrin broken";
inline constexpr std::string_view kOrrinNoResponseText = "Orrin did not respond";
inline constexpr std::string_view kOrrinRefusedText = "Orrin Recorder did not accept your access code.";
inline constexpr std::string_view kOrrinInvalidReplyText = "Orrin response is invalid or corrupt";

// The hosts of a list separated by spaces or control characters (at most kOrrinMaxHosts).
std::vector<std::string_view> SplitOrrinHosts(std::string_view list);

struct OrrinHostPort {
  std::string host;
  std::uint16_t port = kDefaultOrrinPort;
};
// "host" or "host:port"; nothing for an empty host or a port that is not a number in 1..65535.
std::optional<OrrinHostPort> ParseOrrinHost(std::string_view text);

// Which host of a list each new link tries first: every link advances the shared index by one.
class OrrinRoundRobin {
 public:
  // index = (index + 1) mod count, returned; 0 for an empty list.
  std::size_t Next(std::size_t count);

 private:
  std::atomic<std::size_t> index_{0};
};
// The one index of the process, shared by every link.
OrrinRoundRobin& SharedOrrinRoundRobin();

// 0x1B, 0x00, the code cut to 63 bytes on a character boundary, then zeros to 66 bytes.
std::string MakeOrrinGreeting(std::string_view accessCode);
// 0xFF, n, the name cut to 255 bytes on a character boundary.
std::string MakeOrrinNameFrame(std::string_view name);

enum class OrrinReply { kAccepted, kRefused, kInvalid };
OrrinReply ClassifyOrrinReply(std::string_view twoBytes);

// The server's reader of what a phone sends: bytes go in as they arrive, in pieces of any size;
// whole messages come out. The greeting comes first, then the name, then frames; any byte that
// breaks that order makes the stream invalid for good.
class OrrinStreamReader {
 public:
  enum class Item { kNeedMore, kGreeting, kName, kFrame, kInvalid };

  void Append(std::string_view bytes) { buffer_.append(bytes); }
  // The next whole message: kGreeting fills `text` with the access code (up to its zero byte),
  // kName with the name, kFrame fills `frame` with the 33 GSM bytes.
  Item Next(std::string* text, std::uint8_t (&frame)[kGsmFrameBytes]);
  // True once the greeting and the name have both been read.
  bool Opened() const { return stage_ == Stage::kFrames; }

 private:
  enum class Stage { kGreeting, kName, kFrames, kInvalid };
  Item Fail();

  Stage stage_ = Stage::kGreeting;
  std::string buffer_;  // bytes not yet taken; at most one message plus the last Append
};

}  // namespace corvina::media
