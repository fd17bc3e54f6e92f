// Requests within a dialog: the common header block (destination, routing, own address) and
// one sender per method. Each sender fills a SipRequestOut, sends it once and returns whether
// the next hop resolved; the caller keeps the request for retransmission and challenges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sip/dialog.h"
#include "sip/sip_endpoint.h"
#include "sip/sip_message.h"
#include "platform/socket_address.h"

namespace corvina::sip {

struct SipRequestOut {
  SocketAddress destination;
  std::string text;
  std::string requestUri;
  std::string method;
  std::uint32_t cseq = 0;
  std::string branch;
  std::string authorization;           // empty: no credentials
  bool authorizationIsWww = true;      // true: "Authorization", false: "Proxy-Authorization"
};

// The address and port the phone puts into Via and Contact for a peer at `peer`: the private
// ones for a private peer, the public ones otherwise.
struct OwnAddress {
  std::string text;
  std::uint16_t port = 0;
};
OwnAddress ChooseOwnAddress(const OwnAddresses& own, std::uint32_t peer);

// "<sip:user@address:port>" for a dialog's own 2xx, judged by where the request came from.
std::string OwnContact(const OwnAddresses& own, std::string_view localUser, const SocketAddress& requestSource);

// Writes the request line and header block into `request.text` (replacing it) and sets its
// request URI and destination. `request.method`, `cseq`, `branch` and the authorization fields
// must be filled. Returns false, after logging, when the next hop does not resolve.
bool ComposeRequestHead(SipEndpoint& endpoint, const Dialog& dialog, SipRequestOut& request, bool includeContact,
                        std::string_view to, int maxForwards);

// Copies the Answer-Mode and Priv-Answer-Mode headers of `message`, when present, as lines.
void AppendAnswerModeHeaders(std::string& out, const SipMessage& message);

// Senders. `request` carries the authorization to use in and the sent request out.
struct InviteOptions {
  std::string_view sdp = {};  // empty: no body
  std::string_view replaces = {};  // empty: no Replaces header
  bool autoAnswer = false;
  std::string_view extraHeaders = {};  // complete lines, e.g. from AppendAnswerModeHeaders
};
bool SendInvite(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request, const InviteOptions& options);
bool SendCancel(SipEndpoint& endpoint, const Dialog& dialog, const SipRequestOut& invite, SipRequestOut& request);
// Writes the CANCEL of `invite` without sending it (it goes out once a provisional answer came).
bool ComposeCancel(SipEndpoint& endpoint, const Dialog& dialog, const SipRequestOut& invite, SipRequestOut& request);
// Acknowledges `response` to `invite`; the ACK is also kept in the sent-message cache.
bool SendAck(SipEndpoint& endpoint, const Dialog& dialog, const SipRequestOut& invite, const SipMessage& response,
             std::string_view sdp, SipRequestOut& request);
bool SendBye(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request);
bool SendByeWithoutCredentials(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request);
// Writes a BYE without credentials (next CSeq, new branch) to be sent later.
bool ComposeByeWithoutCredentials(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request);
// Sends a request composed earlier again; false when its next hop did not resolve.
bool Resend(SipEndpoint& endpoint, const SipRequestOut& request);
bool SendInfo(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request);
bool SendOptions(SipEndpoint& endpoint, Dialog& dialog, SipRequestOut& request);
bool SendRefer(SipEndpoint& endpoint, Dialog& dialog, std::string_view referTo, SipRequestOut& request);
bool SendNotify(SipEndpoint& endpoint, Dialog& dialog, int status, std::string_view reason, SipRequestOut& request);

}  // namespace corvina::sip
