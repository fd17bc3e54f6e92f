// Every fixed text that the SIP composers put on the wire, in one place, so they can be read
// side by side. Templates use the placeholders of wire_format.h.
#pragma once

#include <string_view>

#include "platform/product.h"

namespace corvina::sip::wire {

// Methods.
inline constexpr std::string_view kInvite = "INVITE";
inline constexpr std::string_view kAck = "ACK";
inline constexpr std::string_view kCancel = "CANCEL";
inline constexpr std::string_view kBye = "BYE";
inline constexpr std::string_view kInfo = "INFO";
inline constexpr std::string_view kOptions = "OPTIONS";
inline constexpr std::string_view kRefer = "REFER";
inline constexpr std::string_view kNotify = "NOTIFY";

// Identifiers.
inline constexpr std::string_view kBranch = "z9hG4bK%d%d";
inline constexpr std::string_view kCallIdSuffix = "-%d-%s@";
inline constexpr std::string_view kDeviceName = "Windows Mobile Device";
inline constexpr std::string_view kCallId = "%d%s%s";
inline constexpr std::string_view kTag = "%d";

// Request header block, written for every request but REGISTER.
inline constexpr std::string_view kRequestHead =
    "%s %s SIP/2.0\r\n"
    "Via: SIP/2.0/UDP %s:%d;rport;branch=%s\r\n"
    "To: %s\r\n"
    "From: %s\r\n"
    "Call-ID: %s\r\n"
    "CSeq: %d %s\r\n"
    "Max-Forwards: %d\r\n"
    "User-Agent: " CORVINA_MAKER " " CORVINA_NAME " " CORVINA_VERSION "\r\n";
inline constexpr int kMaxForwards = 20;
inline constexpr std::string_view kRouteHeader = "Route: %s\r\n";
inline constexpr std::string_view kStrictRouteRest = "%s,<%s>";
inline constexpr std::string_view kStrictRouteOnly = "<%s>";
inline constexpr std::string_view kContactHeader = "Contact: <sip:%s@%s:%d>\r\n";
inline constexpr std::string_view kAuthorizationHeader = "Authorization: %s\r\n";
inline constexpr std::string_view kProxyAuthorizationHeader = "Proxy-Authorization: %s\r\n";

// Fixed appenders.
inline constexpr std::string_view kNoBody = "Content-Length: 0\r\n\r\n";
inline constexpr std::string_view kBody = "Content-Type: %s\r\nContent-Length: %d\r\n\r\n%s";
inline constexpr std::string_view kRequestAllow =
    "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, INFO, REFER, NOTIFY\r\n"
    "Supported: replaces\r\n";
inline constexpr std::string_view kReplacesHeader = "Replaces: %s\r\n";
inline constexpr std::string_view kAnswerModeAuto = "Answer-Mode: Auto\r\n";
inline constexpr std::string_view kAcceptSdp = "Accept: application/sdp\r\n";
inline constexpr std::string_view kCopiedHeader = "%s: %s\r\n";
inline constexpr std::string_view kAnswerModeName = "Answer-Mode";
inline constexpr std::string_view kPrivAnswerModeName = "Priv-Answer-Mode";

// Method-specific lines.
inline constexpr std::string_view kReferToHeader = "Refer-To: %s\r\n";
inline constexpr std::string_view kReferredByHeader = "Referred-By: <%s>\r\n";
inline constexpr std::string_view kNotifyReferHeaders =
    "Event: refer\r\n"
    "Subscription-State: active;expires=60\r\n";
inline constexpr std::string_view kSipfragStatus = "SIP/2.0 %d %s\r\n";

// Body types.
inline constexpr std::string_view kSdpType = "application/sdp";
inline constexpr std::string_view kSipfragType = "message/sipfrag";

// Responses.
inline constexpr std::string_view kStatusLine = "SIP/2.0 %d %s\r\n";
inline constexpr std::string_view kViaHeader = "Via: %s\r\n";
inline constexpr std::string_view kRecordRouteHeader = "Record-Route: %s\r\n";
inline constexpr std::string_view kToHeader = "To: %s\r\n";
inline constexpr std::string_view kToHeaderWithTag = "To: %s;tag=%s\r\n";
inline constexpr std::string_view kTagMarker = ";tag=";
inline constexpr std::string_view kResponseDialogHeaders =
    "From: %s\r\n"
    "Call-ID: %s\r\n"
    "CSeq: %s\r\n"
    "User-Agent: " CORVINA_MAKER " " CORVINA_NAME " " CORVINA_VERSION "\r\n";
inline constexpr std::string_view kResponseContactHeader = "Contact: %s\r\n";
inline constexpr std::string_view kResponseAllow =
    "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, NOTIFY\r\n"
    "Accept: application/sdp\r\n"
    "Supported: replaces\r\n";

// Answers inside a dialog and from the call terminator.
inline constexpr std::string_view kReasonOk = "OK";
inline constexpr std::string_view kReasonLoopDetected = "Loop Detected";
inline constexpr std::string_view kReasonRequestPending = "Request Pending";
inline constexpr std::string_view kReasonNotImplemented = "Not Implemented";
inline constexpr std::string_view kReasonRequestTerminated = "Request Terminated";

// Name-addresses.
inline constexpr std::string_view kNamedAddress = "%s <%s>";
inline constexpr std::string_view kBareAddress = "<%s>";

// Dialog values.
inline constexpr std::string_view kOwnContact = "<sip:%s@%s:%d>";
inline constexpr std::string_view kOutboundProxyRoute = "<sip:%s;lr>";
inline constexpr std::string_view kHostFill = "%s:%d>";
inline constexpr std::string_view kTagParam = ";tag=%s";
inline constexpr std::string_view kWithTag = "%s;tag=%s";
inline constexpr std::string_view kRouteJoin = "%s,%s";
inline constexpr std::string_view kGigasetAgent = "Gigaset";
inline constexpr std::string_view kCiscoGatewayAgent = "Cisco-SIPGateway";

// Digest authentication.
inline constexpr std::string_view kDigestScheme = "Digest";
inline constexpr std::string_view kDigestHa1 = "%s:%s:%s";
inline constexpr std::string_view kDigestHa2 = "%s:%s";
inline constexpr std::string_view kDigestResponse = "%s:%s:%s";
inline constexpr std::string_view kDigestAuthorization =
    "Digest username=\"%s\",realm=\"%s\",nonce=\"%s\",uri=\"%s\",response=\"%s\",opaque=\"%s\",algorithm=MD5";
// With a challenge that offers qop "auth": the response covers nc, cnonce and qop too, and
// these fields follow the ones above.
inline constexpr std::string_view kDigestResponseWithQop = "%s:%s:%s:%s:%s:%s";
inline constexpr std::string_view kDigestQopFields = ",qop=auth,nc=%s,cnonce=\"%s\"";
inline constexpr std::string_view kDigestQopAuth = "auth";
inline constexpr std::string_view kDigestFirstNonceCount = "00000001";
inline constexpr std::string_view kDigestMd5 = "MD5";

// Registration.
inline constexpr std::string_view kRegister = "REGISTER";
inline constexpr std::string_view kRegisterHead =
    "REGISTER sip:%s SIP/2.0\r\n"
    "Via: SIP/2.0/UDP %s:%d;rport;branch=%s\r\n"
    "Max-Forwards: 20\r\n"
    "To: <%s>\r\n"
    "From: <%s>;tag=%s\r\n"
    "Call-ID: %s\r\n"
    "CSeq: %d REGISTER\r\n"
    "Contact: <sip:%s@%s:%d>;expires=%d;q=0.%.2d\r\n";
inline constexpr std::string_view kRegisterTail = "User-Agent: Tessaly Corvina 4.01\r\nContent-Length: 0\r\n\r\n";
inline constexpr std::string_view kAddressOfRecord = "sip:%s@%s";
inline constexpr std::string_view kDigestUriOfDomain = "sip:%s";
inline constexpr std::string_view kExpiresParam = "expires";

// Request handling by the engine.
inline constexpr std::string_view kSubscribe = "SUBSCRIBE";
inline constexpr std::string_view kRegisterMethod = "REGISTER";
inline constexpr std::string_view kReasonNotFound = "Not Found";
inline constexpr std::string_view kReasonBusyHere = "Busy Here";
inline constexpr std::string_view kReasonTemporarilyUnavailable = "Temporarily Unavailable";
inline constexpr std::string_view kReasonNoSuchCall = "Call/Transaction Does Not Exist";

// Trace file.
inline constexpr std::string_view kTraceFileName = "20%.2d-%.2d-%.2d Corvina SipTrace.txt";
inline constexpr std::string_view kTraceStamp = "%.2d:%.2d:%.2d ";
inline constexpr std::string_view kTraceReceived =
    "UDP Packet Received from %s <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\r\n";
inline constexpr std::string_view kTraceSent = "UDP Packet Sent to %s >>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>\r\n";
inline constexpr std::string_view kTraceSeparator =
    "\r\n----------------------------------------------------------------\r\n\r\n";
inline constexpr std::string_view kTraceKeepAlive = "NAT Keep Alive Packet Sent to %s\r\n";

// Activity-log texts of the engine and of registration.
inline constexpr std::string_view kBindFailed =
    "SIP Engine BindToListenPort FAILED - wait to try again in 20 seconds - if this continues, make sure that the "
    "SIP port you selected is not being used by another application.";
inline constexpr std::string_view kPrivateIp = "SIP Private IP is: %s:%d";
inline constexpr std::string_view kPublicIp = "SIP Public IP is: %s:%d";
inline constexpr std::string_view kSipNumber = "SIP Number: %s@%s:%d";
inline constexpr std::string_view kAttemptingToRegister = "Attempting to register %s";
inline constexpr std::string_view kServerDidNotRespond = "Server %s did not respond to register (user %s)";
inline constexpr std::string_view kCheckServerDetails = "Check server details for that line";
inline constexpr std::string_view kDndReject = "DND is on - reject incoming call from: ";
inline constexpr std::string_view kBusyReject = "Busy - reject incoming call from: ";
// Debug level: a datagram that kept the engine thread busy (milliseconds, method).
inline constexpr std::string_view kSlowDatagram = "SIP engine busy %d ms handling %s";
inline constexpr std::string_view kRegisteredAs = "Registered as: %s";
inline constexpr std::string_view kRegisterAuthorizationFailed = "Register authorization failed for %s";
inline constexpr std::string_view kErrorReturned = "Error returned : %d %s";
inline constexpr std::string_view kEnterPassword = "Enter a password for this proxy server.";
inline constexpr std::string_view kRegisterAttemptFailed = "Register attempt for proxy %s failed";
inline constexpr std::string_view kStatusAndReason = "%d %s";

// Activity-log texts.
inline constexpr std::string_view kUnableToFindServer = "Unable to find address of server: ";
inline constexpr std::string_view kNoPasswordForChallenge = "Password is being requested when none is available!";
inline constexpr std::string_view kAuthorizationFailed = "Authorization failed for server";
inline constexpr std::string_view kErrorMessageWas = "Error message was: ";
inline constexpr std::string_view kCheckCredentials = "Check username or password for the proxy server.";
inline constexpr std::string_view kNumberNotAllowed = "Perhaps calls to this number are not allowed by this server.";

}  // namespace corvina::sip::wire
