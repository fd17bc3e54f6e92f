#include "call/sdp_session.h"

#include <vector>

#include "call/sdp_reader.h"
#include "call/sdp_texts.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"
#include "platform/socket_address.h"
#include "sip/wire_format.h"

namespace corvina::call {
namespace {

using sip::AppendWire;
using sip::FormatWire;

// The switches of one composition. Offers use all three off.
struct ComposeSwitches {
  bool noActive = false;    // leave out a=direction:active
  bool noLocal = false;     // leave out a=local/a=domain
  bool usePrivate = false;  // advertise the private address and port
};

bool ActiveOn(const platform::Settings& settings) {
  return settings.GetSettingBool(sdp_text::kSipSection, sdp_text::kActiveSetting, false);
}

// `declined` descriptions are written as refused (port 0) in their places around the audio.
std::string Compose(const SdpState& s, std::string_view codecs, std::string_view direction,
                    const ComposeSwitches& sw, bool active, const std::vector<SdpDeclinedMedia>& declined = {}) {
  std::string out = FormatWire(sdp_text::kSessionPart, {s.sessionId, s.version, s.publicAddress,
                                                        sw.usePrivate ? s.privateAddress : s.publicAddress});
  for (const SdpDeclinedMedia& d : declined) {
    if (d.beforeAudio) AppendWire(out, sdp_text::kRejectedMedia, {d.media, d.protocol, d.format});
  }
  AppendWire(out, sdp_text::kAudioPart, {sw.usePrivate ? s.privatePort : s.publicPort, codecs, direction});
  if (active && !sw.noActive) out += sdp_text::kDirectionActive;
  if (!sw.usePrivate && !sw.noLocal && s.publicAddress != s.privateAddress) {
    AppendWire(out, sdp_text::kLocalAndDomain, {s.privateAddress, s.privatePort, s.publicAddress});
  }
  for (const SdpDeclinedMedia& d : declined) {
    if (!d.beforeAudio) AppendWire(out, sdp_text::kRejectedMedia, {d.media, d.protocol, d.format});
  }
  return out;
}

void Refresh(SdpState& s, const SdpLocalMedia& local) {
  s.publicAddress = local.publicAddress;
  s.publicPort = local.publicPort;
  s.privateAddress = local.privateAddress;
  s.privatePort = local.privatePort;
  ++s.version;
}

// What the remote payload list offers, in the terms of the answer order.
// G726-32 and CN may be listed under their static numbers or under the numbers the rtpmap
// lines give them; the answer names each by the number the list used first.
struct Offered {
  bool pcmu = false, pcma = false, gsm = false, g726 = false, cn = false, telephoneEvent = false;
  bool gsmFirst = false, g726First = false;
  std::uint8_t g726Number = media::kPayloadNone;
  std::uint8_t cnNumber = media::kPayloadNone;
};

void Mark(bool& offered, std::uint8_t& number, std::uint8_t pt) {
  if (!offered) number = pt;
  offered = true;
}

Offered WalkPayloadList(const std::vector<std::uint8_t>& list, bool lowBandwidth, std::uint8_t cn,
                        std::uint8_t telephoneEvent, std::uint8_t g726) {
  Offered o;
  o.gsmFirst = o.g726First = lowBandwidth;
  for (std::uint8_t pt : list) {
    const bool g711Before = o.pcmu || o.pcma;
    if (pt == media::kPayloadPcmu) {
      o.pcmu = true;
    } else if (pt == media::kPayloadPcma) {
      o.pcma = true;
    } else if (pt == media::kPayloadGsm) {
      o.gsm = true;
      if (!g711Before) o.gsmFirst = true;
    } else if (pt == media::kPayloadG726Static) {
      Mark(o.g726, o.g726Number, pt);
    } else if (pt == media::kPayloadCn || pt == cn) {
      Mark(o.cn, o.cnNumber, pt);
    } else if (pt == telephoneEvent) {
      o.telephoneEvent = true;
    } else if (pt == g726) {
      Mark(o.g726, o.g726Number, pt);
      if (!g711Before) o.g726First = true;
    }
  }
  return o;
}

// The answer's payload list and rtpmap lines; sets the audio, CN and telephone-event payload
// types of `s` (the audio one stays "none" when no codec is common).
std::string AnswerCodecs(const Offered& o, SdpState& s, std::uint8_t telephoneEvent) {
  std::string list;
  std::string maps;
  auto place = [&](std::uint8_t pt, std::string_view rtpmapTemplate) {
    AppendWire(list, sdp_text::kListEntry, {pt});
    AppendWire(maps, rtpmapTemplate, {pt, pt});
    if (s.audioPayloadType == media::kPayloadNone) s.audioPayloadType = pt;
  };
  s.audioPayloadType = media::kPayloadNone;
  if (o.g726) s.g726PayloadType = o.g726Number;
  if (o.gsm && o.gsmFirst) place(media::kPayloadGsm, sdp_text::kRtpmapGsm);
  if (o.g726 && o.g726First) place(s.g726PayloadType, sdp_text::kRtpmapG726);
  if (o.pcmu) place(media::kPayloadPcmu, sdp_text::kRtpmapPcmu);
  if (o.pcma) place(media::kPayloadPcma, sdp_text::kRtpmapPcma);
  if (o.g726 && !o.g726First) place(s.g726PayloadType, sdp_text::kRtpmapG726);
  if (o.gsm && !o.gsmFirst) place(media::kPayloadGsm, sdp_text::kRtpmapGsm);
  s.cnPayloadType = o.cn ? o.cnNumber : media::kPayloadNone;
  if (o.cn) {
    AppendWire(list, sdp_text::kListEntry, {o.cnNumber});
    AppendWire(maps, sdp_text::kRtpmapCn, {o.cnNumber});
  }
  s.telephoneEventPayloadType = o.telephoneEvent ? telephoneEvent : media::kPayloadNone;
  if (o.telephoneEvent) {
    AppendWire(list, sdp_text::kListEntry, {telephoneEvent});
    AppendWire(maps, sdp_text::kRtpmapTelephoneEvent, {telephoneEvent, telephoneEvent});
  }
  return FormatWire(sdp_text::kListEnd, {list, maps});
}

}  // namespace

bool PrefersLowBandwidth(const platform::Settings& settings) {
  // Missing or empty reads as the default (50), which is not below 50.
  return settings.GetSettingInt(sdp_text::kSipSection, sdp_text::kQuality, 50) < 50;
}

std::string_view OfferCodecList(const platform::Settings& settings) {
  return PrefersLowBandwidth(settings) ? sdp_text::kLowBandwidthCodecs : sdp_text::kDefaultCodecs;
}

std::string BuildCapabilities(SdpCounter& counter, const platform::Settings& settings) {
  SdpState s;
  s.sessionId = s.version = counter.Take();
  return Compose(s, OfferCodecList(settings), sdp_text::kSendRecv, {}, ActiveOn(settings));
}

SdpSession::SdpSession(SdpCounter& counter, const platform::Settings& settings, platform::NameResolver& resolver)
    : settings_(settings), resolver_(resolver) {
  state_.sessionId = state_.version = counter.Take();
}

std::string SdpSession::BuildOffer(const SdpLocalMedia& local, bool hold) {
  Refresh(state_, local);
  return Compose(state_, OfferCodecList(settings_), hold ? sdp_text::kSendOnly : sdp_text::kSendRecv, {},
                 ActiveOn(settings_));
}

SdpNegotiation SdpSession::Negotiate(std::string_view remoteSdp, bool answerWanted, bool recvonly,
                                     const SdpLocalMedia& local) {
  SdpNegotiation result;
  if (remoteSdp.empty()) {
    result.usable = true;
    return result;
  }
  // Worked on a copy: an unusable SDP must not disturb the running session.
  SdpState s = state_;
  if (answerWanted) Refresh(s, local);
  const RemoteSdp remote = ReadSdp(remoteSdp);

  s.remoteAddress = remote.connectionAddress;
  s.remotePort = remote.audioPort;
  s.learnRemoteAddress = remote.directionActive;
  s.sendSuppressed = remote.sendOnly;
  const std::uint8_t cn = remote.PayloadTypeOf(sdp_text::kEncodingCn, media::kPayloadCn);
  const std::uint8_t telephoneEvent =
      remote.PayloadTypeOf(sdp_text::kEncodingTelephoneEvent, media::kPayloadTelephoneEvent);
  s.g726PayloadType = remote.PayloadTypeOf(sdp_text::kEncodingG726, media::kPayloadG726Static);

  // Address choice.
  ComposeSwitches sw;
  sw.noLocal = true;
  if (remote.hasLocal) {
    const std::string& theirPublic = remote.domain.empty() ? remote.connectionAddress : remote.domain;
    if (s.publicAddress == theirPublic) {
      // Both phones sit behind the same NAT: talk over the private addresses.
      s.remoteAddress = remote.localAddress;
      s.remotePort = remote.localPort;
      sw.noLocal = false;
      sw.noActive = true;
    }
  }
  if (s.remoteAddress.empty()) {
    s.learnRemoteAddress = true;
    sw.usePrivate = true;
    sw.noLocal = false;
  } else if (std::optional<std::uint32_t> a = resolver_.ResolveIpv4(s.remoteAddress);
             a && platform::IsPrivateAddress(*a)) {
    sw.usePrivate = true;
    sw.noLocal = false;
  }

  const Offered offered = WalkPayloadList(remote.payloadTypes, PrefersLowBandwidth(settings_), cn,
                                          telephoneEvent, s.g726PayloadType);
  std::string codecs = AnswerCodecs(offered, s, telephoneEvent);
  if (s.audioPayloadType == media::kPayloadNone) return result;

  result.usable = true;
  if (answerWanted) {
    result.answer = Compose(s, codecs, recvonly ? sdp_text::kRecvOnly : sdp_text::kSendRecv, sw,
                            ActiveOn(settings_), remote.declined);
  }
  state_ = std::move(s);
  return result;
}

}  // namespace corvina::call
