// The Lumo on-hold protocol as the phone reads it: the phone connects over TCP, sends 0xB1 0x00,
// reads a 4-byte little-endian value (at least 255, else the server refused) and then frames of
// a 3-byte header (byte 0 not interpreted, bytes 1-2 the payload length n, little-endian) and n
// bytes of 8000 Hz µ-law. A length above 1024 ends the stream (a server ends with 1025).
// LumoStreamReader is the pure reader of those bytes: bytes go in as they arrive, in pieces of
// any size; payload bytes come out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace corvina::media {

// The `LumoServer` default: the one constant for the hold source and the Hold option page.
inline constexpr std::string_view kDefaultLumoServer = "127.0.0.1:606";
inline constexpr std::uint16_t kDefaultLumoPort = 606;

inline constexpr std::uint8_t kLumoGreeting[2] = {0xB1, 0x00};
inline constexpr std::size_t kLumoValueBytes = 4;
inline constexpr std::uint32_t kLumoMinimumValue = 255;
inline constexpr std::size_t kLumoHeaderBytes = 3;
inline constexpr std::size_t kLumoMaxFrameBytes = 1024;
// µ-law silence put in the ring before the first frame, so playback starts a little behind.
inline constexpr std::size_t kLumoPrefillBytes = 1028;
inline constexpr std::uint8_t kLumoSilence = 0xFF;
// The ring's size in bytes: one byte kept free to tell full from empty.
inline constexpr std::size_t kLumoRingBytes = 64001;
// The type-of-service byte of the stream's socket.
inline constexpr int kLumoTypeOfService = 0xB8;

// The activity-log text (level 1) of a link that cannot connect or log in.
inline constexpr std::string_view kLumoFailedText = "Hold Connection Failed";

class LumoStreamReader {
 public:
  enum class Phase {
    kValue,    // the server's 4-byte value
    kHeader,   // a frame's 3-byte header
    kPayload,  // a frame's payload
    kEnded,    // for good: see Ending()
  };
  enum class Ending { kNone, kRefused, kEndOfStream };

  // Starts expecting the server's value; `skipValue` starts at the first frame header.
  explicit LumoStreamReader(bool skipValue = false);

  // Consumes bytes up to the end of the stream and returns how many it took; every payload byte
  // is appended to `payload` as it arrives (a frame split across calls comes out in pieces).
  std::size_t Feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& payload);

  Phase CurrentPhase() const { return phase_; }
  Ending HowEnded() const { return ending_; }
  bool Ended() const { return phase_ == Phase::kEnded; }
  // Bytes still missing from the current item (value, header or payload); 0 once ended.
  std::size_t Wanted() const;
  // The server's value, once read.
  std::uint32_t Value() const { return value_; }

 private:
  Phase phase_;
  Ending ending_ = Ending::kNone;
  std::uint8_t item_[kLumoValueBytes] = {};
  std::size_t itemHave_ = 0;      // bytes of the value or header gathered so far
  std::size_t payloadLeft_ = 0;   // payload bytes of the current frame still to come
  std::uint32_t value_ = 0;
};

}  // namespace corvina::media
