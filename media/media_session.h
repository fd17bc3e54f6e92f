// One line's RTP endpoint, kept for the program's life and used call after call: the RTP
// socket, the receive thread that reorders, decodes and plays what arrives, the voice senders
// made for it, and the digit sender. Call control drives it in this order: Open (socket),
// SetRemote (the negotiated description), Start (threads), then Stop; SetRemote may come again
// while started (a renegotiation restarts the digit sender and learns the remote SSRC afresh).
// Sequence number, timestamp and SSRC start random and are never reset, so a new call on the
// same line continues the numbering. There is no RTCP: nothing is sent or read on port + 1.
//
// Threads: the line's call thread calls Open, SetRemote, Start and Stop; the control lock guards
// what they share, but is never held across Open's public address query or SetRemote's host name
// lookup (a Stop meanwhile wins: the socket Open then finds is closed again). CreateSender,
// ReceivedAudioReader, the taps, SendDigits and Send may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "media/dtmf_sender.h"
#include "media/receive_taps.h"
#include "media/rtp_receive_thread.h"
#include "media/rtp_send_state.h"
#include "media/rtp_sender.h"
#include "media/rtp_socket_opener.h"
#include "media/rtp_trace.h"
#include "media/udp_rtp_transport.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"

namespace corvina::media {

// The remote side as negotiated, in media terms (call control fills it from its SDP state).
struct MediaRemoteDescription {
  std::string host;  // dotted address or host name; one that does not resolve sends nothing
  std::uint16_t port = 0;
  RtpPayloadTypes types;
  bool learnRemoteAddress = false;  // send to where the played packets come from
  bool sendSuppressed = false;      // send nothing
};

// What a session uses; every reference must outlive the session.
struct MediaSessionServices {
  const platform::MediaClock& clock;
  const platform::TickClock& tick;
  const platform::Settings& settings;  // SipTraceAudioOn
  platform::NameResolver& resolver;     // remote host names
  RtpSocketOpener& opener;
  RtpTraceWriter trace;                 // the SIP trace log; may be empty
  std::function<void()> onDigitsSent;   // the digit sender's thread, after each queue is sent
  PacerSleep pacerSleep;                // how senders are held back; empty: sleep the thread
};

class MediaSession {
 public:
  explicit MediaSession(MediaSessionServices services);
  ~MediaSession();
  MediaSession(const MediaSession&) = delete;
  MediaSession& operator=(const MediaSession&) = delete;

  // Stops what runs, forgets the comfort-noise type and opens a new RTP socket. False when no
  // socket could be opened: the session then still runs but sends and receives nothing.
  bool Open(platform::Event& stop);
  // The addresses of the open socket (empty when none).
  RtpSocketAddresses Addresses() const;

  // Applies the negotiated remote side. The host is taken as a dotted address first, else
  // looked up (which may block); unresolved, nothing is sent.
  void SetRemote(const MediaRemoteDescription& remote);

  // Starts the receive thread and the digit sender; while the receive thread runs, only the
  // digit sender is restarted. False when there is no socket (the digit sender still starts).
  bool Start();
  bool Started() const;

  // Stops the digit sender, then the receive thread, then closes the socket under the send
  // lock (later sends do nothing).
  void Stop();

  // A voice sender for this session (the capture thread or the hold player writes into it).
  // With `paceFirst` the caller is first held back while the session has sent ahead of real
  // time (a file source following another).
  std::shared_ptr<RtpSender> CreateSender(bool paceFirst);

  // Replaces the speaker feed with a fresh ring of 8000 Hz mono audio and returns its reading
  // end, for the playback device or a conference mixer.
  AudioSinkPtr ReceivedAudioReader();
  // Replaces the speaker feed with `feed` (nullptr: nothing), for a line whose received audio
  // is kept rather than played (an intercom line's buffer).
  void SetSpeakerFeed(AudioSinkPtr feed);
  // The recording taps of the line's recorder (nullptr: none).
  void SetReceivedAudioTap(AudioSinkPtr tap);
  void SetSentAudioTap(AudioSinkPtr tap);

  // Queues digits for the digit sender; returns how many were queued (a full queue drops).
  std::size_t SendDigits(std::string_view digits);

  // The single send path of the session's RTP; false when nothing went out.
  bool Send(std::span<const std::uint8_t> datagram);

  RtpSendState& SendState() { return *state_; }
  bool DtmfSending() const { return state_->DtmfSending(); }

 private:
  void StopLocked();
  bool TraceOn() const;

  MediaSessionServices services_;
  const std::shared_ptr<RtpSendState> state_;
  const std::shared_ptr<ReceiveTaps> taps_ = std::make_shared<ReceiveTaps>();
  const std::shared_ptr<ReceiveFlags> flags_ = std::make_shared<ReceiveFlags>();
  const std::shared_ptr<RtpTracer> tracer_;
  DtmfSender digits_;

  mutable std::mutex control_;  // guards the fields below
  std::shared_ptr<platform::UdpSocket> socket_;
  RtpSocketAddresses addresses_;
  std::unique_ptr<RtpReceiveThread> receiver_;
  std::uint64_t generation_ = 0;  // counts stops; an Open whose stop was overtaken drops its socket
};

}  // namespace corvina::media
