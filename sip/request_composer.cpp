#include "sip/request_composer.h"

#include "platform/name_resolver.h"
#include "platform/text.h"
#include "sip/message_body.h"
#include "sip/name_addr.h"
#include "sip/route_set.h"
#include "sip/sip_uri.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

struct Routing {
  std::string requestUri;
  std::string nextHop;      // URI of the next hop
  std::string routeHeader;  // empty: no Route header
};

Routing ChooseRouting(const Dialog& dialog) {
  Routing r;
  std::vector<std::string_view> routes = SplitRouteEntries(dialog.routeSet);
  if (routes.empty()) {
    r.requestUri = dialog.remoteTarget;
    r.nextHop = dialog.remoteTarget;
    return r;
  }
  NameAddr first = ParseNameAddr(routes.front());
  r.nextHop = first.uri;
  if (ParseUri(first.uri).params.Has("lr")) {
    r.requestUri = dialog.remoteTarget;
    bool onlyTheProxy = routes.size() == 1 && dialog.routeFromOutboundProxy;
    if (!onlyTheProxy) r.routeHeader = dialog.routeSet;
    return r;
  }
  // Strict routing: the first route becomes the request URI and the remote target goes last.
  r.requestUri = first.uri;
  std::string rest;
  for (std::size_t i = 1; i < routes.size(); ++i) {
    if (!rest.empty()) rest.push_back(',');
    rest += routes[i];
  }
  r.routeHeader = rest.empty() ? FormatWire(wire::kStrictRouteOnly, {dialog.remoteTarget})
                               : FormatWire(wire::kStrictRouteRest, {rest, dialog.remoteTarget});
  return r;
}

bool Deliver(SipEndpoint& endpoint, const SipRequestOut& request, bool resolved) {
  if (resolved) endpoint.Send(request.destination, request.text);
  return resolved;
}

// The common start of the in-dialog senders with a fresh CSeq and branch.
void StartNewRequest(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request, std::string_view method) {
  request.method = std::string(method);
  request.cseq = ++dialog.localCSeq;
  request.branch = endpoint.Ids().NewBranch();
}

bool ComposeSimple(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request, std::string_view method,
                   std::string_view extra) {
  StartNewRequest(endpoint, dialog, request, method);
  bool ok = ComposeRequestHead(endpoint, dialog, request, false, dialog.remoteParty, wire::kMaxForwards);
  request.text += extra;
  request.text += wire::kNoBody;
  return ok;
}

bool SendSimple(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request, std::string_view method,
                std::string_view extra) {
  return Deliver(endpoint, request, ComposeSimple(endpoint, dialog, request, method, extra));
}

}  // namespace

OwnAddress ChooseOwnAddress(const OwnAddresses& own, std::uint32_t peer) {
  if (IsPrivateAddress(peer)) return {own.privateAddress, own.localPort};
  return {own.publicAddress, own.publicPort};
}

std::string OwnContact(const OwnAddresses& own, std::string_view localUser, const SocketAddress& requestSource) {
  OwnAddress a = ChooseOwnAddress(own, requestSource.address);
  return FormatWire(wire::kOwnContact, {localUser, a.text, a.port});
}

bool ComposeRequestHead(SipEndpoint& endpoint, const Dialog& dialog, SipRequestOut& request, bool includeContact,
                        std::string_view to, int maxForwards) {
  Routing routing = ChooseRouting(dialog);
  request.requestUri = routing.requestUri;

  SipUri hop = ParseUri(routing.nextHop);
  std::optional<std::uint32_t> address = endpoint.Resolver().ResolveIpv4(hop.host);
  request.destination = {address.value_or(0), hop.port};
  bool resolved = address.has_value() && *address != 0;
  if (!resolved) {
    endpoint.Log().Log(std::string(wire::kUnableToFindServer) + hop.host, platform::kLogError);
    request.destination = {};
  }

  OwnAddress self = ChooseOwnAddress(endpoint.Addresses(), request.destination.address);
  request.text.clear();
  AppendWire(request.text, wire::kRequestHead,
             {request.method, request.requestUri, self.text, self.port, request.branch, to, dialog.localParty,
              dialog.callId, request.cseq, request.method, maxForwards});
  if (!routing.routeHeader.empty()) AppendWire(request.text, wire::kRouteHeader, {routing.routeHeader});
  if (includeContact) AppendWire(request.text, wire::kContactHeader, {dialog.localUser, self.text, self.port});
  if (!request.authorization.empty()) {
    AppendWire(request.text, request.authorizationIsWww ? wire::kAuthorizationHeader : wire::kProxyAuthorizationHeader,
               {request.authorization});
  }
  return resolved;
}

void AppendAnswerModeHeaders(std::string& out, const SipMessage& message) {
  for (std::string_view name : {wire::kAnswerModeName, wire::kPrivAnswerModeName}) {
    for (const SipHeader& h : message.headers) {
      if (platform::EqualsIgnoreCase(h.name, name)) {
        AppendWire(out, wire::kCopiedHeader, {name, h.value});
        break;
      }
    }
  }
}

bool SendInvite(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request, const InviteOptions& options) {
  StartNewRequest(endpoint, dialog, request, wire::kInvite);
  bool ok = ComposeRequestHead(endpoint, dialog, request, true, dialog.remoteParty, wire::kMaxForwards);
  if (!options.replaces.empty()) AppendWire(request.text, wire::kReplacesHeader, {options.replaces});
  request.text += wire::kRequestAllow;
  if (options.autoAnswer) request.text += wire::kAnswerModeAuto;
  request.text += options.extraHeaders;
  AppendBody(request.text, wire::kSdpType, options.sdp);
  return Deliver(endpoint, request, ok);
}

bool ComposeCancel(SipEndpoint& endpoint, const Dialog& dialog, const SipRequestOut& invite, SipRequestOut& request) {
  request.method = std::string(wire::kCancel);
  request.cseq = invite.cseq;
  request.branch = invite.branch;
  request.authorization = invite.authorization;
  request.authorizationIsWww = invite.authorizationIsWww;
  bool ok = ComposeRequestHead(endpoint, dialog, request, false, dialog.remoteParty, wire::kMaxForwards);
  request.text += wire::kNoBody;
  return ok;
}

bool SendCancel(SipEndpoint& endpoint, const Dialog& dialog, const SipRequestOut& invite, SipRequestOut& request) {
  return Deliver(endpoint, request, ComposeCancel(endpoint, dialog, invite, request));
}

bool Resend(SipEndpoint& endpoint, const SipRequestOut& request) {
  return Deliver(endpoint, request, request.destination.address != 0);
}

bool SendAck(SipEndpoint& endpoint, const Dialog& dialog, const SipRequestOut& invite, const SipMessage& response,
             std::string_view sdp, SipRequestOut& request) {
  bool success = response.statusCode >= 200 && response.statusCode <= 299;
  request.method = std::string(wire::kAck);
  request.cseq = invite.cseq;
  request.branch = success ? endpoint.Ids().NewBranch() : invite.branch;
  request.authorization = invite.authorization;
  request.authorizationIsWww = invite.authorizationIsWww;
  bool ok = ComposeRequestHead(endpoint, dialog, request, false, response.FindHeader(kTo), wire::kMaxForwards);
  AppendBody(request.text, wire::kSdpType, sdp);
  if (ok) endpoint.RecordSent(response, request.destination, request.text);
  return Deliver(endpoint, request, ok);
}

bool SendBye(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request) {
  return SendSimple(endpoint, dialog, request, wire::kBye, {});
}

bool ComposeByeWithoutCredentials(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request) {
  request.authorization.clear();
  request.authorizationIsWww = false;
  return ComposeSimple(endpoint, dialog, request, wire::kBye, {});
}

bool SendByeWithoutCredentials(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request) {
  return Deliver(endpoint, request, ComposeByeWithoutCredentials(endpoint, dialog, request));
}

bool SendInfo(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request) {
  return SendSimple(endpoint, dialog, request, wire::kInfo, {});
}

bool SendOptions(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request) {
  return SendSimple(endpoint, dialog, request, wire::kOptions, wire::kAcceptSdp);
}

bool SendRefer(SipEndpoint& endpoint, Dialog& dialog, std::string_view referTo, SipRequestOut& request) {
  StartNewRequest(endpoint, dialog, request, wire::kRefer);
  bool ok = ComposeRequestHead(endpoint, dialog, request, true, dialog.remoteParty, wire::kMaxForwards);
  AppendWire(request.text, wire::kReferToHeader, {referTo});
  AppendWire(request.text, wire::kReferredByHeader, {ParseNameAddr(dialog.localParty).uri});
  request.text += wire::kNoBody;
  return Deliver(endpoint, request, ok);
}

bool SendNotify(SipEndpoint& endpoint, Dialog& dialog, int status, std::string_view reason, SipRequestOut& request) {
  StartNewRequest(endpoint, dialog, request, wire::kNotify);
  bool ok = ComposeRequestHead(endpoint, dialog, request, false, dialog.remoteParty, wire::kMaxForwards);
  request.text += wire::kNotifyReferHeaders;
  AppendBody(request.text, wire::kSipfragType, FormatWire(wire::kSipfragStatus, {status, reason}));
  return Deliver(endpoint, request, ok);
}

}  // namespace corvina::sip
