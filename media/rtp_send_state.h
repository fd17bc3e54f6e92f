// What every sender of one RTP session shares: the numbering (sequence number, timestamp,
// SSRC), where packets go and with which payload types, the flags that govern sending, the
// pacer, and the datagram path to the socket. One lock (the session's send lock) guards all of
// it, so that "check the DTMF-sending flag, take a sequence number and timestamp, advance them,
// send" is one step for the voice sender, the digit sender and the keep-alive alike: no number
// is ever used twice or skipped, and no sender sees a half-written destination.
//
// The state outlives the calls of its line: numbering continues from call to call. It starts
// from random values (RFC 3550), so the two lines, built in the same millisecond, never share
// an SSRC.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "media/audio_sink.h"
#include "media/payload_types.h"
#include "media/send_pacer.h"
#include "platform/clock.h"
#include "platform/socket_address.h"

namespace corvina::media {

// The comfort-noise payload byte: noise level 63 (-63 dBov).
inline constexpr std::uint8_t kComfortNoiseLevel = 0x3F;
// A silence packet: the header and, with a comfort-noise type, the one level byte.
inline constexpr std::size_t kSilencePacketBytes = 13;
// Without a packet sent for this long the receive side sends a keep-alive.
inline constexpr std::int64_t kKeepAliveIdleMs = 55000;
// Timestamp units a keep-alive moves the clock on (one silence step).
inline constexpr std::uint32_t kKeepAliveSamples = 40;

// The payload types the offer/answer agreed on; 255 means "not negotiated".
struct RtpPayloadTypes {
  std::uint8_t audio = kPayloadPcmu;  // 0 PCMU, 8 PCMA, 3 GSM, or the G726-32 type below
  std::uint8_t comfortNoise = kPayloadNone;
  std::uint8_t telephoneEvent = kPayloadNone;
  std::uint8_t g726 = kPayloadNone;  // the dynamic type the peer uses for G726-32
};

// The remote side of a session as call control sets it.
struct RtpRemote {
  platform::SocketAddress destination;  // address 0: nothing is sent
  RtpPayloadTypes types;
  bool learnRemoteAddress = false;  // send to the source of the packets being played
  bool sendSuppressed = false;      // send nothing at all
};

// The datagram path out of the session (the RTP socket). Called only under the send lock, so
// an implementation needs no lock of its own. Destroying it closes the socket.
class RtpTransport {
 public:
  virtual ~RtpTransport() = default;
  virtual void Send(std::span<const std::uint8_t> datagram, const platform::SocketAddress& to) = 0;
};

struct RtpNumbering {
  std::uint32_t ssrc = 0;
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  // Fresh random values from the system's random source.
  static RtpNumbering Random();
};

// Writes the packet of one silence step: with a comfort-noise type, its header and the level
// byte (13 bytes); without one, a header alone with the audio payload type (12 bytes). Never
// with the marker bit. Returns the length.
std::size_t WriteSilencePacket(const RtpPayloadTypes& types, std::uint16_t sequence, std::uint32_t timestamp,
                               std::uint32_t ssrc, std::span<std::uint8_t, kSilencePacketBytes> out);

// The RTP sent-audio recording tap: any thread may swap it while the sender writes; a tap that
// is being written is never freed (the writer holds a reference for the write).
class AudioTap {
 public:
  void Set(AudioSinkPtr sink);
  // Hands `samples` to the tap, if any (the tap may scribble on the copy it gets).
  void Write(std::span<const std::int32_t> samples);

 private:
  std::mutex mutex_;  // guards sink_
  AudioSinkPtr sink_;
  std::vector<std::int32_t> scratch_;  // the writer's thread (one writer at a time)
};

class RtpSendState {
 public:
  RtpSendState(const platform::MediaClock& clock, const RtpNumbering& numbering);
  RtpSendState(const RtpSendState&) = delete;
  RtpSendState& operator=(const RtpSendState&) = delete;

  // The session's send lock, held for as long as the object lives. Everything a sender reads
  // or changes between taking a number and sending goes through one of these.
  class Locked {
   public:
    const RtpRemote& Remote() const { return state_->remote_; }
    std::uint32_t Ssrc() const { return state_->ssrc_; }
    std::uint32_t Timestamp() const { return state_->timestamp_; }
    void AdvanceTimestamp(std::uint32_t samples) { state_->timestamp_ += samples; }
    void SetTimestamp(std::uint32_t timestamp) { state_->timestamp_ = timestamp; }
    // The next sequence number, which is then used up.
    std::uint16_t TakeSequence() { return state_->sequence_++; }
    bool DtmfSending() const { return state_->dtmfSending_.load(); }
    void SetDtmfSending(bool on) { state_->dtmfSending_.store(on); }
    // True when a send would reach the wire: a socket, a destination and sending allowed.
    bool CanSend() const;
    // The single send path: to the destination when CanSend(), which also stamps the last-send
    // time. False when nothing went out.
    bool Send(std::span<const std::uint8_t> datagram);
    std::int64_t LastSendMs() const { return state_->lastSendMs_; }
    SendPacer& Pacer() { return state_->pacer_; }
    std::int64_t NowMs() const { return state_->clock_.NowMs(); }

   private:
    friend class RtpSendState;
    explicit Locked(RtpSendState& state) : lock_(state.mutex_), state_(&state) {}
    std::unique_lock<std::mutex> lock_;
    RtpSendState* state_;
  };

  Locked Lock() { return Locked(*this); }

  // Opening: the socket of the new call; the last-send time starts now.
  void AttachTransport(std::unique_ptr<RtpTransport> transport);
  // Stopping: closes the socket under the send lock; later sends do nothing.
  void CloseTransport();
  void SetRemote(const RtpRemote& remote);
  // Address learning: the source of the packet being played becomes the destination.
  void SetDestination(const platform::SocketAddress& destination);
  RtpRemote Remote();

  // The keep-alive of the receive side: when nothing has been sent for `idleMs`, a send would
  // reach the wire and no digit is going out, one silence packet with the next number and the current timestamp,
  // which then moves on by 40. True when it sent.
  bool SendKeepAliveIfIdle(std::int64_t idleMs = kKeepAliveIdleMs);

  // Readable without the lock (the controller asks; stop clears the DTMF flag).
  bool DtmfSending() const { return dtmfSending_.load(); }
  void ClearDtmfSending();
  bool SenderAttached() const { return senderAttached_.load(); }
  void SetSenderAttached(bool attached) { senderAttached_.store(attached); }

  AudioTap& SentAudioTap() { return sentAudioTap_; }
  const platform::MediaClock& Clock() const { return clock_; }

 private:
  const platform::MediaClock& clock_;
  std::mutex mutex_;  // the send lock: guards every plain field below
  std::uint32_t ssrc_;
  std::uint16_t sequence_;
  std::uint32_t timestamp_;
  RtpRemote remote_;
  std::unique_ptr<RtpTransport> transport_;
  std::int64_t lastSendMs_;
  SendPacer pacer_;
  std::atomic<bool> dtmfSending_{false};     // written under the lock, read anywhere
  std::atomic<bool> senderAttached_{false};  // any thread
  AudioTap sentAudioTap_;                    // its own lock
};

}  // namespace corvina::media
