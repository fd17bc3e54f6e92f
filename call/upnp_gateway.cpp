#include "call/upnp_gateway.h"

#include "call/http_client.h"

namespace corvina::call {
namespace {

constexpr std::size_t kMaxSsdpReply = 8191;
constexpr std::size_t kMaxDescription = 8192;
constexpr std::size_t kMaxSoapReply = 8191;

bool IsSuccessStatus(int status) { return status >= 200 && status < 300; }

}  // namespace

UpnpOutcome UpnpGateway::MapPort(DatagramChannel& ssdp, platform::Event* stop, std::uint16_t externalPort,
                                 std::uint16_t internalPort, std::string_view internalClient) {
  const Mapping mapping{externalPort, internalPort, internalClient};
  const std::span<const std::uint8_t> search(reinterpret_cast<const std::uint8_t*>(nat::kSsdpSearch.data()),
                                             nat::kSsdpSearch.size());
  bool refused = false;
  std::string reply;
  platform::SocketAddress from;
  for (int send = 0; send < options_.searches; ++send) {
    ssdp.SendTo(options_.ssdpTarget, search);
    for (;;) {
      const ChannelWait wait = ssdp.Receive(options_.searchWaitMs, kMaxSsdpReply, &reply, &from);
      if (wait == ChannelWait::kStopped) return {UpnpStatus::kStopped, {}};
      if (wait != ChannelWait::kDatagram) break;
      std::string external;
      switch (TryGateway(reply, stop, mapping, &external)) {
        case Step::kMapped:
          return {UpnpStatus::kMapped, external};
        case Step::kStopped:
          return {UpnpStatus::kStopped, {}};
        case Step::kRefused:
          refused = true;
          break;
        case Step::kFailed:
          break;
      }
    }
  }
  return {refused ? UpnpStatus::kRefused : UpnpStatus::kFailed, {}};
}

UpnpGateway::Step UpnpGateway::TryGateway(std::string_view ssdpReply, platform::Event* stop, const Mapping& mapping,
                                          std::string* external) {
  auto location = FindSsdpLocation(ssdpReply);
  if (!location) return Step::kFailed;
  auto url = SplitHttpUrl(*location);
  if (!url) return Step::kFailed;
  bool stopped = false;
  auto description = Fetch(*url, BuildHttpGet(*url), kMaxDescription, stop, &stopped);
  if (stopped) return Step::kStopped;
  if (!description || !IsSuccessStatus(description->status)) return Step::kFailed;
  bool refused = false;
  for (std::string_view service : {nat::kWanIpService, nat::kWanPppService}) {
    auto control = FindControlUrl(description->body, service, *url);
    if (!control) continue;
    const Step step = TryService(*control, service, stop, mapping, external);
    if (step == Step::kMapped || step == Step::kStopped) return step;
    if (step == Step::kRefused) refused = true;
  }
  return refused ? Step::kRefused : Step::kFailed;
}

UpnpGateway::Step UpnpGateway::TryService(const HttpUrl& control, std::string_view service, platform::Event* stop,
                                          const Mapping& mapping, std::string* external) {
  bool stopped = false;
  auto call = [&](std::string_view action, std::string_view arguments) {
    return Fetch(control, BuildSoapRequest(control, service, action, arguments), kMaxSoapReply, stop, &stopped);
  };

  auto typeInfo = call(nat::kGetConnectionTypeInfo, "");
  if (stopped) return Step::kStopped;
  if (!typeInfo) return Step::kFailed;
  auto type = SoapElementText(typeInfo->body, nat::kNewConnectionType);
  if (type && type->find(nat::kUnconfigured) != std::string::npos) return Step::kFailed;

  auto natStatus = call(nat::kGetNatRsipStatus, "");
  if (stopped) return Step::kStopped;
  if (!natStatus) return Step::kFailed;
  auto enabled = SoapElementText(natStatus->body, nat::kNewNatEnabled);
  if (enabled && !enabled->empty() && (enabled->front() == '0' || enabled->front() == 'F' || enabled->front() == 'f')) {
    return Step::kFailed;
  }

  auto address = call(nat::kGetExternalIpAddress, "");
  if (stopped) return Step::kStopped;
  if (!address) return Step::kFailed;
  auto externalText = SoapElementText(address->body, nat::kNewExternalIpAddress);
  if (!externalText || externalText->empty()) return Step::kFailed;

  auto added = call(nat::kAddPortMapping,
                    BuildAddPortMappingArguments(mapping.externalPort, mapping.internalPort, mapping.internalClient));
  if (stopped) return Step::kStopped;
  if (!added) return Step::kFailed;
  if (added->body.find(nat::kFaultString) != std::string::npos) return Step::kRefused;
  if (!IsSuccessStatus(added->status)) return Step::kFailed;

  if (!platform::ParseIpv4(*externalText) && !resolver_.ResolveIpv4(*externalText)) return Step::kFailed;
  *external = *externalText;
  return Step::kMapped;
}

std::optional<HttpReply> UpnpGateway::Fetch(const HttpUrl& url, std::string_view request, std::size_t maxBytes,
                                            platform::Event* stop, bool* stopped) {
  auto host = resolver_.ResolveIpv4(url.host);
  if (!host) return std::nullopt;
  HttpOutcome outcome = HttpExchange({*host, url.port}, request, maxBytes, options_.httpTimeoutMs, stop);
  if (outcome.status == HttpStatus::kStopped) *stopped = true;
  if (outcome.status != HttpStatus::kOk) return std::nullopt;
  return std::move(outcome.reply);
}

}  // namespace corvina::call
