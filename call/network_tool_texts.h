// Every fixed text of the network setup tool: its step texts, activity-log lines, question and
// message boxes, and the built-in list of public STUN servers.
#pragma once

#include <array>
#include <string_view>

#include "call/nat_texts.h"

namespace corvina::call::tool {

inline constexpr std::string_view kTitle = "Networking Setup Wizard";

// Public RFC 3489 servers, the settings' two defaults first. The environment variable replaces
// the list ("host" or "host:port", comma separated), so tests never reach the internet.
inline constexpr std::array<std::string_view, 10> kStunServers = {
    nat::kDefaultStunServer1, nat::kDefaultStunServer2, "stun.voiparound.com", "stun.voipbuster.com",
    "stun.voipstunt.com",     "stun.ekiga.net",         "stun.ideasip.com",    "stun.schlund.de",
    "stun.sipnet.net",        "stun.counterpath.net"};
inline constexpr const char* kStunServersVariable = "CORVINA_STUN_SERVERS";
inline constexpr int kPortTestServers = 4;
inline constexpr int kRtpPortsTested = 10;
inline constexpr int kLastSipPort = 65534;

inline constexpr std::string_view kTesting = "Testing Networking for SIP";
inline constexpr std::string_view kStaticOn =
    "This wizard does not work if you have manually setup a STATIC IP or port mapping. Turn Static IP mapping off "
    "and run this again.";
inline constexpr std::string_view kCheckingInternet = "Checking Internet is Connected...";
inline constexpr std::string_view kNotConnected =
    "Internet is not Connected!\r\n\r\nPlease connect to the Internet and select the \"Run Networking Setup "
    "Wizard\" item from the menu to run this wizard again.";
inline constexpr std::string_view kConnected = "Internet is Connected";
inline constexpr std::string_view kStoppingEngine = "Stopping SIP Engine";
inline constexpr std::string_view kOpeningPorts = "Opening Internet Ports";
inline constexpr std::string_view kCheckingFirewall = "Checking SIP through Firewall";
inline constexpr std::string_view kPortInUse = "Port %d (UDP) is being used by another program - trying another port";
inline constexpr std::string_view kNoFreeSipPort = "No free UDP port for SIP from %d to %d; Port stays %d";
inline constexpr std::string_view kSipPortOpen = "Sip Port %d (UDP) opened OK";
inline constexpr std::string_view kSipPortMayBeBlocked = "Sip Port %d (UDP) may be blocked by a firewall";
inline constexpr std::string_view kFirewallTitle = "Firewall Blocking Ports";
inline constexpr std::string_view kFirewallQuestion =
    "Your handheld seems to be blocking UDP port %d (or internet connection is down).\r\nPlease check you are "
    "connected to the network then click Yes to try again.";
inline constexpr std::string_view kLocalIp = "Local network IP is: ";
inline constexpr std::string_view kDirect = "This computer connects to Internet directly";
inline constexpr std::string_view kExternalIp = "External IP is: ";
inline constexpr std::string_view kBehindNat =
    "This computer is connected to Internet over a network using a NAT, router or Internet Connection Sharing";
inline constexpr std::string_view kSymmetricSlow =
    "Because NAT or router is 'symmetric' networking will be slow unless you setup NAT manually";
inline constexpr std::string_view kManualTitle = "Manual Router Setup Required";
inline constexpr std::string_view kManualText =
    "A 'symmetric' NAT or router has been detected between this computer and the internet. This means audio "
    "cannot be routed to this computer automatically. You (or your Network Administrator) are strongly advised to "
    "manually setup RTP/UDP redirection at the router or NAT otherwise audio may be delayed, low quality or "
    "broken. See the manual topic \"Networking\" for more.";
inline constexpr std::string_view kCheckingStun = "Checking with STUN";
inline constexpr std::string_view kNoStunReplies = "No STUN replies - possibly network is down";
inline constexpr std::string_view kStunSymmetric = "NAT is symmetric so STUN will not work.";
inline constexpr std::string_view kCheckingUpnp = "Checking for a UPnP NAT";
inline constexpr std::string_view kUpnpFound = "UPnP NAT or router found";
inline constexpr std::string_view kUpnpDisabled =
    "UPnP configuration of the firewall is disabled on the server. It should be enabled. See Help for how to do "
    "this.";
inline constexpr std::string_view kNoUpnp = "No UPnP NAT or router found";
inline constexpr std::string_view kFinished = "SIP Network Tool finished";
inline constexpr std::string_view kRestartingEngine = "Restarting SIP Engine";

}  // namespace corvina::call::tool
