#include "app/options/net_pages.h"

#include "app/options/options_texts.h"
#include "call/nat_texts.h"
#include "platform/name_resolver.h"

namespace corvina::app {
namespace {

namespace t = options_texts;
namespace nat = call::nat;

constexpr int kMaxPort = 65535, kMaxRtpBase = 65534;

OptionsMessage Box(std::string_view title, std::string_view text, std::string_view field) {
  return {std::string(title), std::string(text), std::string(field)};
}

// The stored number as the spin box shows it: the value's leading digits, the default when missing.
std::string ShownNumber(const platform::Settings& settings, std::string_view key, int def) {
  return std::to_string(settings.GetSettingInt(nat::kSection, key, def));
}

// An RTP base in range and even; an odd one is corrected downwards in the field and refused.
std::optional<OptionsMessage> CheckRtpBase(OptionsPage& page, std::string_view key, std::string_view title,
                                           std::string_view text, int* base) {
  const std::optional<int> value = ParsePortNumber(page.Get(key), 2, kMaxRtpBase);
  if (!value) return Box(title, text, key);
  if (*value % 2 != 0) {
    page.Set(key, std::to_string(*value & ~1));
    return Box("", t::kOddRtp, key);
  }
  *base = *value;
  return std::nullopt;
}

}  // namespace

Net1Page::Net1Page(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("Port", Kind::kNumber);
  AddField("RTPPortBase", Kind::kNumber);
  AddField("SipTraceOn", Kind::kSwitch);
  AddField("SipTraceAudioOn", Kind::kSwitch);
}

void Net1Page::Load() {
  Show("Port", ShownNumber(settings_, nat::kPort, nat::kDefaultSipPort));
  Show("RTPPortBase", ShownNumber(settings_, nat::kRtpPortBase, nat::kDefaultRtpPortBase));
  for (const char* key : {"SipTraceOn", "SipTraceAudioOn"}) {
    Show(key, settings_.GetSettingBool("Settings", key, false) ? "1" : "0");
  }
}

std::optional<OptionsMessage> Net1Page::Confirm() {
  const std::optional<int> port = ParsePortNumber(Get("Port"), 1, kMaxPort);
  if (!port) return Box(t::kInvalidLocalPortTitle, t::kInvalidLocalPort, "Port");
  settings_.SetSettingInt(nat::kSection, nat::kPort, *port);
  int base = 0;
  if (auto refusal = CheckRtpBase(*this, "RTPPortBase", t::kInvalidLocalRtpTitle, t::kInvalidLocalRtp, &base)) {
    return refusal;
  }
  settings_.SetSettingInt(nat::kSection, nat::kRtpPortBase, base);
  settings_.SetSettingBool("Settings", "SipTraceOn", On("SipTraceOn"));
  if (env_.setSipTrace) env_.setSipTrace(On("SipTraceOn"));
  settings_.SetSettingBool("Settings", "SipTraceAudioOn", On("SipTraceAudioOn"));
  return std::nullopt;
}

Net2Page::Net2Page(platform::Settings& settings, OptionsEnvironment& env) : OptionsPage(settings, env) {
  AddField("UPNP", Kind::kSwitch);
  AddField("STUN", Kind::kSwitch);
  AddField("STUNServer1", Kind::kText);
  AddField("STUNServer2", Kind::kText);
  AddField("STATIC", Kind::kSwitch);
  AddField("STATICPublicIP", Kind::kText);
  AddField("STATICSIPPort", Kind::kNumber);
  AddField("STATICRTPPortBase", Kind::kNumber);
}

void Net2Page::Load() {
  Show("UPNP", settings_.GetSettingBool(nat::kSection, nat::kUpnp, false) ? "1" : "0");
  Show("STUN", settings_.GetSettingBool(nat::kSection, nat::kStun, true) ? "1" : "0");
  Show("STUNServer1", settings_.GetSettingString(nat::kSection, nat::kStunServer1, nat::kDefaultStunServer1));
  Show("STUNServer2", settings_.GetSettingString(nat::kSection, nat::kStunServer2, nat::kDefaultStunServer2));
  Show("STATIC", settings_.GetSettingBool(nat::kSection, nat::kStatic, false) ? "1" : "0");
  Show("STATICPublicIP", settings_.GetSettingString(nat::kSection, nat::kStaticPublicIp, ""));
  Show("STATICSIPPort", ShownNumber(settings_, nat::kStaticSipPort, nat::kDefaultSipPort));
  Show("STATICRTPPortBase", ShownNumber(settings_, nat::kStaticRtpPortBase, nat::kDefaultRtpPortBase));
}

std::optional<OptionsMessage> Net2Page::Confirm() {
  settings_.SetSettingBool(nat::kSection, nat::kUpnp, On("UPNP"));
  settings_.SetSettingBool(nat::kSection, nat::kStun, On("STUN"));
  if (Get("STUNServer1").empty()) {
    return Box(t::kInvalidStunTitle, std::string(t::kInvalidStun) + std::string(nat::kDefaultStunServer1),
               "STUNServer1");
  }
  if (auto refusal = CheckOptionText(Get("STUNServer1"), "STUNServer1", "STUN Server 1")) return refusal;
  if (auto refusal = CheckOptionText(Get("STUNServer2"), "STUNServer2", "STUN Server 2")) return refusal;
  settings_.SetSettingString(nat::kSection, nat::kStunServer1, Get("STUNServer1"));
  settings_.SetSettingString(nat::kSection, nat::kStunServer2, Get("STUNServer2"));
  settings_.SetSettingBool(nat::kSection, nat::kStatic, On("STATIC"));
  const std::string publicIp = Get("STATICPublicIP");
  if (auto refusal = CheckOptionText(publicIp, "STATICPublicIP", "Public IP Address")) return refusal;
  if (On("STATIC") && !publicIp.empty() && !platform::ParseIpv4(publicIp)) {
    return Box(t::kInvalidPublicIpTitle, t::kInvalidPublicIp, "STATICPublicIP");
  }
  settings_.SetSettingString(nat::kSection, nat::kStaticPublicIp, publicIp);
  const std::optional<int> port = ParsePortNumber(Get("STATICSIPPort"), 1, kMaxPort);
  if (!port) return Box(t::kInvalidExternalPortTitle, t::kInvalidExternalPort, "STATICSIPPort");
  settings_.SetSettingInt(nat::kSection, nat::kStaticSipPort, *port);
  int base = 0;
  if (auto refusal = CheckRtpBase(*this, "STATICRTPPortBase", t::kInvalidExternalRtpTitle, t::kInvalidExternalRtp,
                                  &base)) {
    return refusal;
  }
  settings_.SetSettingInt(nat::kSection, nat::kStaticRtpPortBase, base);
  return std::nullopt;
}

}  // namespace corvina::app
