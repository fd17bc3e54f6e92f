// media_leg: places one call to a real peer on loopback and runs a MediaSession for it, with
// WAV files for microphone and loudspeaker, so that interop tests can look at the RTP on the
// wire and at the audio on both ends. The SIP side is the dialog and composer pieces over a
// plain socket (the test stands in for the engine); SDP comes from the call layer.
//
//   media_leg (--target sip:USER@127.0.0.1:PORT | --answer SIP-PORT) [--rtp-base N]
//             [--play FILE.wav] [--record FILE.wav] [--seconds S] [--digits TEXT]
//             [--digits-after MS] [--quality Q] [--trace FILE]
//
// With --answer it waits (up to 30 s) for one INVITE on 127.0.0.1:SIP-PORT and answers it.
//
// Standard output: "rtp-port N", "remote HOST:PORT", "codec PT cn PT event PT", "digits-sent",
// "ended". Exit status 0 when the call was set up and ended by our BYE.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "call/nat_rtp_socket_opener.h"
#include "call/sdp_session.h"
#include "media/capture_thread.h"
#include "media/media_session.h"
#include "media/playback_thread.h"
#include "media/wav_audio_device.h"
#include "platform/memory_settings_store.h"
#include "platform/settings.h"
#include "sip/request_composer.h"
#include "sip/response_composer.h"
#include "sip/shared_dialog.h"
#include "tests/interop/sip_test_endpoint.h"

namespace corvina {
namespace {

using sip::interop::kLoopback;

// NAT traversal that knows only loopback: the socket's own address and port are public.
class LoopbackAddresses final : public sip::PublicAddressSource {
 public:
  std::string LocalAddress() override { return "127.0.0.1"; }
  sip::PublicAddressResult PublicAddress(platform::UdpSocket&, platform::Event&, const sip::PublicAddressRequest& request,
                                         const sip::OtherTrafficSink&) override {
    return {"127.0.0.1", request.localPort, false, false};
  }
  std::string_view StunServerSettingName() const override { return "STUNServer1"; }
};

class StderrLog final : public platform::LogSink {
 public:
  void Log(std::string_view message, std::uint8_t level) override {
    std::cerr << "log " << static_cast<int>(level) << ": " << message << "\n";
  }
};

std::map<std::string, std::string> ParseArgs(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  return args;
}

std::string Arg(const std::map<std::string, std::string>& args, const std::string& name, std::string def = {}) {
  auto it = args.find(name);
  return it == args.end() ? def : it->second;
}

void Say(const std::string& line) {
  std::cout << line << std::endl;  // flushed: the test reads it as it comes
}

std::unique_ptr<sip::SipMessage> WaitForFinal(sip::SharedDialog& dialog, sip::SipEndpoint& endpoint,
                                              const sip::SipRequestOut& request, const char* method) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    while (auto m = dialog.WaitNext(500)) {
      if (sip::ResponseMatchesRequest(*m, request.cseq, method) && m->statusCode >= 200) return m;
    }
    sip::Resend(endpoint, request);
  }
  return nullptr;
}

// The first INVITE that reaches the socket within 30 s.
std::unique_ptr<sip::SipMessage> WaitForInvite(platform::UdpSocket& socket) {
  std::array<std::uint8_t, 4096> buffer{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    const platform::ReceiveResult r = socket.ReceiveFrom(buffer, 500);
    if (r.status != platform::ReceiveStatus::kDatagram) continue;
    auto message = std::make_unique<sip::SipMessage>();
    if (!sip::ParseMessage(std::string_view(reinterpret_cast<const char*>(buffer.data()), r.size), *message)) continue;
    message->source = r.from;
    if (message->IsRequest() && message->method == "INVITE") return message;
  }
  return nullptr;
}

int Run(int argc, char** argv) {
  const auto args = ParseArgs(argc, argv);
  const std::string target = Arg(args, "--target");
  const bool answering = args.count("--answer") != 0;
  if (target.empty() == !answering) {
    std::cerr << "usage: media_leg (--target sip:USER@127.0.0.1:PORT | --answer SIP-PORT) [options]\n";
    return 2;
  }
  platform::MemorySettingsStore store;
  platform::Settings settings(store);
  settings.SetSettingString("SIP", "RTPPortBase", Arg(args, "--rtp-base", "8000"));
  settings.SetSettingBool("SIP", "STUN", false);
  settings.SetSettingBool("SIP", "UPNP", false);
  if (args.count("--quality") != 0) settings.SetSettingString("SIP", "Quality", Arg(args, "--quality"));
  std::ofstream traceFile;
  std::mutex traceLock;
  if (args.count("--trace") != 0) {
    traceFile.open(Arg(args, "--trace"), std::ios::binary);
    settings.SetSettingInt("Settings", "SipTraceAudioOn", 1);
  }

  StderrLog log;
  platform::SystemMediaClock clock;
  platform::SystemTickClock tick;
  sip::interop::DottedResolver resolver;
  LoopbackAddresses nat;
  call::NatRtpSocketOpener opener(nat, settings, log);
  media::MediaSessionServices services{clock, tick, settings, resolver, opener,
                                       [&](std::string_view line) {
                                         std::lock_guard lock(traceLock);
                                         traceFile << line;
                                         traceFile.flush();
                                       },
                                       [] { Say("digits-sent"); }, {}};
  media::MediaSession session(std::move(services));
  platform::Event stop(platform::Event::Mode::kManualReset);
  if (!session.Open(stop)) {
    std::cerr << "no RTP socket\n";
    return 1;
  }
  const media::RtpSocketAddresses rtp = session.Addresses();
  Say("rtp-port " + std::to_string(rtp.localPort));

  platform::UdpSocket sipSocket;
  const std::uint16_t sipPort = answering ? static_cast<std::uint16_t>(std::atoi(Arg(args, "--answer").c_str())) : 0;
  const platform::BindResult bound = sipSocket.Bind({kLoopback, sipPort});
  if (!bound.Ok()) return 1;
  sip::interop::SocketEndpoint endpoint(sipSocket, bound.local.port);
  sip::interop::NoRepeats sentMessages;
  sip::KernelEventWaiter waiter;
  sip::DialogServices dialogServices{endpoint, sentMessages, waiter};
  sip::DialogList list([](int) { return true; });

  call::SdpCounter counter(static_cast<std::uint32_t>(std::time(nullptr)));
  call::SdpSession sdp(counter, settings, resolver);
  const call::SdpLocalMedia local{rtp.publicAddress, rtp.publicPort, rtp.localAddress, rtp.localPort};
  sip::DialogRef dialog;
  std::unique_ptr<sip::interop::SipSocketReader> reader;
  call::SdpNegotiation negotiated;
  if (answering) {
    std::unique_ptr<sip::SipMessage> invite = WaitForInvite(sipSocket);
    if (!invite) {
      std::cerr << "no INVITE came\n";
      return 1;
    }
    dialog = sip::SharedDialog::Create(dialogServices, sip::NewIncomingDialog(endpoint, *invite));
    list.Add(dialog);
    reader = std::make_unique<sip::interop::SipSocketReader>(sipSocket, list);
    negotiated = sdp.Negotiate(invite->FindBody("application/sdp"), true, false, local);
    if (!negotiated.usable) {
      sip::SendResponse(endpoint, *invite, 488, "Not Acceptable Here", {.toTag = dialog->State().localTag});
      return 1;
    }
    const std::string contact = sip::OwnContact(endpoint.Addresses(), "leg", invite->source);
    sip::SendResponse(endpoint, *invite, 200, "OK",
                      {.toTag = dialog->State().localTag, .contact = contact, .bodyType = "application/sdp",
                       .body = negotiated.answer});
    dialog->State().established = true;
  } else {
    reader = std::make_unique<sip::interop::SipSocketReader>(sipSocket, list);
    const std::string offer = sdp.BuildOffer(local, false);
    const std::string to = "<" + target + ">";
    dialog = sip::SharedDialog::Create(
        dialogServices,
        sip::NewOutgoingDialog(endpoint, {.from = "<sip:leg@127.0.0.1>", .to = to, .localUser = "leg"}));
    list.Add(dialog);
    sip::SipRequestOut invite;
    if (!sip::SendInvite(endpoint, dialog->State(), invite, {.sdp = offer})) return 1;
    std::unique_ptr<sip::SipMessage> ok = WaitForFinal(*dialog, endpoint, invite, "INVITE");
    if (!ok || ok->statusCode != 200) {
      std::cerr << "call refused: " << (ok ? ok->statusCode : 0) << "\n";
      return 1;
    }
    sip::ApplyInviteSuccess(dialog->State(), *ok);
    sip::SipRequestOut ack;
    sip::SendAck(endpoint, dialog->State(), invite, *ok, {}, ack);
    dialog->State().established = true;
    negotiated = sdp.Negotiate(ok->FindBody("application/sdp"), false, false, local);
    if (!negotiated.usable) {
      std::cerr << "no common codec\n";
      return 1;
    }
  }
  const call::SdpState& state = sdp.State();
  // Loopback only: a peer that names any other address gets no media from us.
  const std::optional<std::uint32_t> remoteAddress = platform::ParseIpv4(state.remoteAddress);
  if (!remoteAddress || !platform::IsLoopbackAddress(*remoteAddress)) {
    std::cerr << "remote media address is not loopback: " << state.remoteAddress << "\n";
    return 3;
  }
  Say("remote " + state.remoteAddress + ":" + std::to_string(state.remotePort));
  Say("codec " + std::to_string(state.audioPayloadType) + " cn " + std::to_string(state.cnPayloadType) + " event " +
      std::to_string(state.telephoneEventPayloadType));
  session.SetRemote(call::MediaRemoteFromSdp(state));
  session.Start();

  std::unique_ptr<media::CaptureThread> capture;
  std::shared_ptr<media::RtpSender> sender;
  if (args.count("--play") != 0) {
    auto input = media::OpenWavInput(Arg(args, "--play"), {8000, 1});
    if (!input.stream) {
      std::cerr << "cannot open " << Arg(args, "--play") << "\n";
      return 1;
    }
    sender = session.CreateSender(true);
    capture = std::make_unique<media::CaptureThread>(std::move(input.stream), "wav:" + Arg(args, "--play"), log, 0);
    capture->SetChainHead(sender);
    capture->Start();
  }
  std::unique_ptr<media::PlaybackThread> playback;
  if (args.count("--record") != 0) {
    auto output = media::OpenWavOutput(Arg(args, "--record"), {8000, 1});
    if (!output.stream) return 1;
    playback = std::make_unique<media::PlaybackThread>(std::move(output.stream), "wav:" + Arg(args, "--record"), log,
                                                       clock, 0);
    playback->SetSource(session.ReceivedAudioReader());
    playback->Start();
  }

  const auto start = std::chrono::steady_clock::now();
  const auto seconds = std::chrono::milliseconds(static_cast<int>(std::atof(Arg(args, "--seconds", "3").c_str()) * 1000));
  const auto digitsAt = std::chrono::milliseconds(std::atoi(Arg(args, "--digits-after", "1000").c_str()));
  bool digitsQueued = args.count("--digits") == 0;
  while (std::chrono::steady_clock::now() - start < seconds) {
    if (!digitsQueued && std::chrono::steady_clock::now() - start >= digitsAt) {
      session.SendDigits(Arg(args, "--digits"));
      digitsQueued = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  if (capture) capture->StopAndJoin();
  capture.reset();
  sender.reset();  // the last silence step goes out
  if (playback) playback->StopAndJoin();
  playback.reset();
  session.Stop();
  sip::SipRequestOut bye;
  sip::SendBye(endpoint, dialog->State(), bye);
  WaitForFinal(*dialog, endpoint, bye, "BYE");
  list.Remove(dialog.get());
  Say("ended");
  return 0;
}

}  // namespace
}  // namespace corvina

int main(int argc, char** argv) { return corvina::Run(argc, argv); }
