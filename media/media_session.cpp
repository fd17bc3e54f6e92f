#include "media/media_session.h"

#include <chrono>
#include <thread>
#include <utility>

#include "media/audio_ring.h"
#include "media/sample_scale.h"
#include "media/tone_texts.h"
#include "platform/thread_priority.h"

namespace corvina::media {
namespace {

PacerSleep OrThreadSleep(PacerSleep sleep) {
  if (sleep) return sleep;
  return [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

}  // namespace

MediaSession::MediaSession(MediaSessionServices services)
    : services_(std::move(services)),
      state_(std::make_shared<RtpSendState>(services_.clock, RtpNumbering::Random())),
      tracer_(std::make_shared<RtpTracer>(services_.clock, services_.trace)),
      digits_(state_, services_.onDigitsSent) {
  services_.pacerSleep = OrThreadSleep(std::move(services_.pacerSleep));
}

MediaSession::~MediaSession() { Stop(); }

bool MediaSession::TraceOn() const {
  // Read when a call's media is set up, not per packet: a settings read goes to the store.
  return services_.settings.GetSettingInt(kSettingsSection, kSettingSipTraceAudioOn, 0) != 0;
}

bool MediaSession::Open(platform::Event& stop) {
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(control_);
    StopLocked();
    RtpRemote remote = state_->Remote();
    remote.types.comfortNoise = kPayloadNone;
    state_->SetRemote(remote);
    addresses_ = {};
    tracer_->SetOn(TraceOn());
    generation = generation_;
  }
  // The public address query may take seconds: outside the lock, so Stop and the readers of
  // the addresses never wait for it.
  std::optional<OpenedRtpSocket> opened = services_.opener.Open(stop);
  if (!opened || !opened->socket) return false;
  std::lock_guard lock(control_);
  if (generation != generation_) return false;  // stopped meanwhile: the socket is not wanted
  socket_ = std::shared_ptr<platform::UdpSocket>(std::move(opened->socket));
  addresses_ = std::move(opened->addresses);
  state_->AttachTransport(std::make_unique<UdpRtpTransport>(socket_, tracer_));
  return true;
}

RtpSocketAddresses MediaSession::Addresses() const {
  std::lock_guard lock(control_);
  return addresses_;
}

void MediaSession::SetRemote(const MediaRemoteDescription& description) {
  // A host name lookup may block: done before the lock is taken.
  std::optional<std::uint32_t> address = platform::ParseIpv4(description.host);
  if (!address && !description.host.empty()) address = services_.resolver.ResolveIpv4(description.host);
  std::lock_guard lock(control_);
  RtpRemote remote;
  remote.destination = {address.value_or(0), description.port};
  remote.types = description.types;
  remote.learnRemoteAddress = description.learnRemoteAddress;
  remote.sendSuppressed = description.sendSuppressed;
  state_->SetRemote(remote);
  flags_->learnRemoteAddress.store(description.learnRemoteAddress);
  tracer_->SetOn(TraceOn());
  if (receiver_) {
    digits_.Start(remote.types.telephoneEvent);
    flags_->resetReceive.store(true);
  }
}

bool MediaSession::Start() {
  std::lock_guard lock(control_);
  const std::uint8_t telephoneEvent = state_->Remote().types.telephoneEvent;
  tracer_->SetOn(TraceOn());
  if (receiver_ || !socket_) {
    digits_.Start(telephoneEvent);
    return receiver_ != nullptr;
  }
  RtpReceiveContext context{socket_, state_, taps_, flags_, tracer_, &services_.clock, &services_.tick};
  receiver_ = std::make_unique<RtpReceiveThread>(std::move(context));
  receiver_->SetPriority(platform::ThreadPriority::kHighest);
  if (!receiver_->Start()) {
    receiver_.reset();
    digits_.Start(telephoneEvent);
    return false;
  }
  digits_.Start(telephoneEvent);
  return true;
}

bool MediaSession::Started() const {
  std::lock_guard lock(control_);
  return receiver_ != nullptr;
}

void MediaSession::Stop() {
  std::lock_guard lock(control_);
  StopLocked();
}

void MediaSession::StopLocked() {
  ++generation_;
  const platform::ThreadPriority caller = platform::CurrentThreadPriority();
  digits_.SetPriority(caller);
  digits_.Stop();
  if (receiver_) {
    receiver_->SetPriority(caller);
    receiver_->StopAndJoin();
    receiver_.reset();
  }
  state_->CloseTransport();
  socket_.reset();
}

std::shared_ptr<RtpSender> MediaSession::CreateSender(bool paceFirst) {
  if (paceFirst) {
    for (int delay = RtpSender::StartDelayMs(*state_); delay > 0; delay = RtpSender::StartDelayMs(*state_)) {
      services_.pacerSleep(delay);
    }
  }
  return std::make_shared<RtpSender>(state_, services_.pacerSleep);
}

AudioSinkPtr MediaSession::ReceivedAudioReader() {
  AudioRingEnds ring = MakeAudioRing(kReceivedAudioRingSamples, kSampleRate);
  taps_->SetSpeakerFeed(std::move(ring.writer));
  return std::move(ring.reader);
}

void MediaSession::SetSpeakerFeed(AudioSinkPtr feed) { taps_->SetSpeakerFeed(std::move(feed)); }

void MediaSession::SetReceivedAudioTap(AudioSinkPtr tap) { taps_->SetReceivedTap(std::move(tap)); }

void MediaSession::SetSentAudioTap(AudioSinkPtr tap) { state_->SentAudioTap().Set(std::move(tap)); }

std::size_t MediaSession::SendDigits(std::string_view digits) { return digits_.SendDigits(digits); }

bool MediaSession::Send(std::span<const std::uint8_t> datagram) { return state_->Lock().Send(datagram); }

}  // namespace corvina::media
