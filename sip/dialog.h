// One SIP dialog (one call leg): identifiers, parties, target and route set, and how each is
// set up. This is the dialog's plain state, which the composers read and write; the object
// that receives messages for it (inbox, lock, event) is SharedDialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sip/sip_endpoint.h"
#include "sip/sip_message.h"

namespace corvina::sip {

// Peer quirks recorded from the far end's User-Agent.
inline constexpr std::uint32_t kQuirkGigaset = 1;
inline constexpr std::uint32_t kQuirkCiscoGateway = 4;

struct Dialog {
  std::string callId;
  std::string localTag;
  std::uint32_t localCSeq = 0;       // incremented before each new request
  std::string receivedInviteCSeq;    // CSeq of the INVITE that created an incoming dialog
  std::string receivedInviteVia;     // its first Via
  std::string localUser;             // user part put into Contact
  std::string authorizationUser;
  std::string password;
  std::string localParty;    // From of own requests, always ending in ";tag=" and the local tag
  std::string remoteParty;   // To of own requests
  std::string remoteTarget;  // URI of in-dialog requests
  std::string routeSet;      // comma-separated angle-bracketed route URIs
  bool routeFromOutboundProxy = false;
  bool established = false;
  std::uint32_t quirks = 0;
};

// Values the call layer gives for a new outgoing call.
struct OutgoingCall {
  std::string_view from = {};  // "\"Name\" <sip:user@domain>" or "<sip:user@domain>"
  std::string_view to = {};    // the dialed name-address
  std::string_view outboundProxy = {};  // empty when none
  std::string_view localUser = {};
  std::string_view authorizationUser = {};
  std::string_view password = {};
};

Dialog NewOutgoingDialog(SipEndpoint& endpoint, const OutgoingCall& call);

// A second dialog to the same party: new identifiers, everything else carried over.
Dialog CopyDialog(SipEndpoint& endpoint, const Dialog& old);

// The dialog of a received INVITE.
Dialog NewIncomingDialog(SipEndpoint& endpoint, const SipMessage& invite);

// A 2xx to an own INVITE: the route set becomes its Record-Route entries in reverse order, the
// remote target its Contact and the remote party its tagged To. Whoever holds the dialog applies
// every 2xx before sending the ACK or a BYE.
void ApplyInviteSuccess(Dialog& dialog, const SipMessage& response);

// Quirk bits for a User-Agent value.
std::uint32_t QuirksOf(std::string_view userAgent);

// `party` without its tag parameter, then ";tag=" and `tag`.
std::string WithTag(std::string_view party, std::string_view tag);

}  // namespace corvina::sip
