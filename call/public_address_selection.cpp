#include "call/public_address_selection.h"

#include "call/nat_texts.h"
#include "platform/name_resolver.h"

namespace corvina::call {
namespace {

using platform::kLogError;
using platform::kLogInfo;

std::string StunServerName(platform::Settings& settings, bool second) {
  return second ? settings.GetSettingString(nat::kSection, nat::kStunServer2, nat::kDefaultStunServer2)
                : settings.GetSettingString(nat::kSection, nat::kStunServer1, nat::kDefaultStunServer1);
}

// Runs the STUN method; true when it found the address, false otherwise. `stopped` is set when
// a query was cut short.
bool TryStun(platform::Settings& settings, platform::LogSink& log, NatProbes& probes, std::atomic<bool>& second,
             const sip::PublicAddressRequest& request, sip::PublicAddressResult& result) {
  std::string server = StunServerName(settings, second.load());
  StunOutcome outcome = probes.QueryStun(server);
  if (outcome.status == StunStatus::kFailed && !server.empty()) {
    log.Log(std::string(nat::kStunServerFailed) + server, kLogError);
    second.store(!second.load());
    server = StunServerName(settings, second.load());
    outcome = probes.QueryStun(server);
    if (outcome.status == StunStatus::kFailed) {
      log.Log(std::string(nat::kStunServerFailed) + server, kLogError);
      log.Log(nat::kConnectionDown, kLogError);
      log.Log(std::string(nat::kCheckFirewall) + std::to_string(request.localPort), kLogError);
      log.Log(nat::kCheckStunSettings, kLogError);
      second.store(false);
    }
  }
  if (outcome.status == StunStatus::kStopped) result.stopped = true;
  if (outcome.status != StunStatus::kMapped) return false;
  result.address = platform::FormatIpv4(outcome.mapped.address);
  result.port = outcome.mapped.port;
  return true;
}

}  // namespace

std::uint16_t UpnpExternalPort(std::uint32_t localAddress, std::uint16_t localPort, int portStep) {
  return static_cast<std::uint16_t>(localPort + (localAddress & 0xFF) * static_cast<std::uint32_t>(portStep));
}

std::uint16_t StaticPublicPort(std::uint16_t localPort, std::uint16_t portBase, std::uint16_t staticPortBase) {
  return static_cast<std::uint16_t>(localPort - portBase + staticPortBase);
}

sip::PublicAddressResult SelectPublicAddress(platform::Settings& settings, platform::LogSink& log, NatProbes& probes,
                                             std::atomic<bool>& useSecondServer,
                                             const sip::PublicAddressRequest& request) {
  sip::PublicAddressResult result;
  result.address = request.localAddress;
  result.port = request.localPort;
  const std::uint32_t local = platform::ParseIpv4(request.localAddress).value_or(0);
  if (!platform::IsPrivateAddress(local)) return result;
  result.behindNat = true;

  bool found = false;
  const bool useStatic = settings.GetSettingBool(nat::kSection, nat::kStatic, false);
  if (useStatic) {
    settings.SetSettingString(nat::kSection, nat::kActive, "0");
    std::string publicIp = settings.GetSettingString(nat::kSection, nat::kStaticPublicIp, "");
    if (!publicIp.empty()) {
      result.address = publicIp;
      found = true;
    }
  }
  const bool useStun = settings.GetSettingBool(nat::kSection, nat::kStun, true);
  if (!found && useStun && !settings.GetSettingBool(nat::kSection, nat::kActive, false)) {
    found = TryStun(settings, log, probes, useSecondServer, request, result);
    if (result.stopped) return result;
  }
  const bool useUpnp = settings.GetSettingBool(nat::kSection, nat::kUpnp, false);
  if (!found && useUpnp) {
    const std::uint16_t external = UpnpExternalPort(local, request.localPort, request.portStep);
    UpnpOutcome outcome = probes.MapPort(external, request.localPort, request.localAddress);
    if (outcome.status == UpnpStatus::kStopped) {
      result.stopped = true;
      return result;
    }
    if (outcome.status == UpnpStatus::kMapped) {
      result.address = outcome.externalAddress;
      result.port = external;
      found = true;
    } else {
      log.Log(nat::kUpnpFailed, kLogError);
      if (outcome.status == UpnpStatus::kRefused) log.Log(nat::kUpnpRefused, kLogError);
    }
  }
  if (!found && (useStatic || useStun || useUpnp)) log.Log(nat::kNoPublicAddress, kLogInfo);
  if (useStatic) result.port = StaticPublicPort(request.localPort, request.portBase, request.staticPortBase);
  return result;
}

}  // namespace corvina::call
