#include "sip/dialog.h"

#include <vector>

#include "sip/name_addr.h"
#include "sip/route_set.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

std::uint32_t FreshLocalCSeq(const SipEndpoint& endpoint) { return endpoint.NowMs() % 1000; }

// The position of the ";tag=" parameter that follows the address (not one inside <...>).
std::size_t FindTagParam(std::string_view party) {
  std::size_t close = party.rfind('>');
  std::size_t from = close == std::string_view::npos ? 0 : close;
  return party.find(wire::kTagMarker, from);
}

bool HasTag(std::string_view party) { return ParseNameAddr(party).params.Has("tag"); }

}  // namespace

std::uint32_t QuirksOf(std::string_view userAgent) {
  std::uint32_t quirks = 0;
  if (userAgent.find(wire::kGigasetAgent) != std::string_view::npos) quirks |= kQuirkGigaset;
  if (userAgent.find(wire::kCiscoGatewayAgent) != std::string_view::npos) quirks |= kQuirkCiscoGateway;
  return quirks;
}

std::string WithTag(std::string_view party, std::string_view tag) {
  std::string base(party);
  std::size_t at = FindTagParam(base);
  if (at != std::string::npos) {
    std::size_t end = base.find(';', at + 1);
    base.erase(at, end == std::string::npos ? std::string::npos : end - at);
  }
  return FormatWire(wire::kWithTag, {base, tag});
}

Dialog NewOutgoingDialog(SipEndpoint& endpoint, const OutgoingCall& call) {
  OwnAddresses own = endpoint.Addresses();
  Dialog d;
  d.callId = endpoint.Ids().NewCallId(own.publicAddress);
  d.localTag = endpoint.Ids().NewTag();
  d.localCSeq = FreshLocalCSeq(endpoint);
  d.localUser = std::string(call.localUser);
  d.authorizationUser = std::string(call.authorizationUser);
  d.password = std::string(call.password);

  // A line without a domain gives "<sip:user@>": the public address fills the empty host.
  std::string from(call.from);
  if (from.size() >= 2 && from[from.size() - 2] == '@' && from.back() == '>') {
    from.pop_back();
    AppendWire(from, wire::kHostFill, {own.publicAddress, own.publicPort});
  }
  d.localParty = from;
  AppendWire(d.localParty, wire::kTagParam, {d.localTag});
  d.remoteParty = std::string(call.to);
  d.remoteTarget = ParseNameAddr(call.to).uri;
  if (!call.outboundProxy.empty()) {
    d.routeSet = FormatWire(wire::kOutboundProxyRoute, {call.outboundProxy});
    d.routeFromOutboundProxy = true;
  }
  return d;
}

Dialog CopyDialog(SipEndpoint& endpoint, const Dialog& old) {
  Dialog d;
  d.callId = endpoint.Ids().NewCallId(endpoint.Addresses().publicAddress);
  d.localTag = endpoint.Ids().NewTag();
  d.localCSeq = FreshLocalCSeq(endpoint);
  d.localUser = old.localUser;
  d.authorizationUser = old.authorizationUser;
  d.password = old.password;
  d.remoteParty = old.remoteParty;
  d.remoteTarget = old.remoteTarget;
  d.routeSet = old.routeSet;
  d.routeFromOutboundProxy = old.routeFromOutboundProxy;
  d.quirks = old.quirks;
  d.localParty = WithTag(old.localParty, d.localTag);
  return d;
}

Dialog NewIncomingDialog(SipEndpoint& endpoint, const SipMessage& invite) {
  Dialog d;
  d.localTag = endpoint.Ids().NewTag();
  d.localCSeq = FreshLocalCSeq(endpoint);
  d.callId = std::string(invite.FindHeader(kCallId));
  d.receivedInviteCSeq = std::string(invite.FindHeader(kCSeq));
  d.receivedInviteVia = std::string(invite.FindHeader(kVia));
  std::string_view to = invite.FindHeader(kTo);
  d.localParty = std::string(to);
  if (!HasTag(to)) AppendWire(d.localParty, wire::kTagParam, {d.localTag});
  d.remoteParty = std::string(invite.FindHeader(kFrom));

  std::vector<std::string_view> routes;
  for (std::string_view value : invite.HeaderValues(kRecordRoute)) {
    for (std::string_view entry : SplitRouteEntries(value)) routes.push_back(entry);
  }
  d.routeSet = JoinRouteEntries(routes);
  d.routeFromOutboundProxy = false;

  // Without a Contact the far end is reached at its From address.
  std::string_view contact = invite.FindHeader(kContact);
  d.remoteTarget = ParseNameAddr(contact.empty() ? std::string_view(d.remoteParty) : contact).uri;
  d.quirks = QuirksOf(invite.FindHeader(kUserAgent));
  return d;
}

void ApplyInviteSuccess(Dialog& dialog, const SipMessage& response) {
  // The whole list is reversed entry by entry, including entries that share one header line.
  std::vector<std::string_view> routes;
  for (std::string_view value : response.HeaderValues(kRecordRoute)) {
    for (std::string_view entry : SplitRouteEntries(value)) routes.insert(routes.begin(), entry);
  }
  dialog.routeSet = JoinRouteEntries(routes);
  dialog.routeFromOutboundProxy = false;
  std::string_view contact = response.FindHeader(kContact);
  if (!contact.empty()) dialog.remoteTarget = ParseNameAddr(contact).uri;
  // The answering party's To carries its tag; later requests must name it, or the far end
  // cannot find its dialog.
  std::string_view to = response.FindHeader(kTo);
  if (HasTag(to)) dialog.remoteParty = std::string(to);
}

}  // namespace corvina::sip
