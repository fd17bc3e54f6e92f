// Every fixed text of NAT traversal in one place: setting names and defaults, activity-log
// lines, and the SSDP, HTTP and SOAP wire templates of the gateway client.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvina::call::nat {

// Settings (section "SIP").
inline constexpr std::string_view kSection = "SIP";
inline constexpr std::string_view kStatic = "STATIC";
inline constexpr std::string_view kStaticPublicIp = "STATICPublicIP";
inline constexpr std::string_view kStaticSipPort = "STATICSIPPort";
inline constexpr std::string_view kStaticRtpPortBase = "STATICRTPPortBase";
inline constexpr std::string_view kStun = "STUN";
inline constexpr std::string_view kStunServer1 = "STUNServer1";
inline constexpr std::string_view kStunServer2 = "STUNServer2";
inline constexpr std::string_view kUpnp = "UPNP";
inline constexpr std::string_view kActive = "Active";
inline constexpr std::string_view kPort = "Port";
inline constexpr std::string_view kRtpPortBase = "RTPPortBase";

inline constexpr int kDefaultSipPort = 5070;
inline constexpr int kDefaultRtpPortBase = 8000;
// Public RFC 3489 servers answering on the standard port.
inline constexpr std::string_view kDefaultStunServer1 = "stun.sipgate.net";
inline constexpr std::string_view kDefaultStunServer2 = "stun.antisip.com";
inline constexpr std::uint16_t kStunPort = 3478;

// Activity-log lines.
inline constexpr std::string_view kStunServerFailed = "STUN server failed: ";
inline constexpr std::string_view kConnectionDown = "The internet connection could be down.";
inline constexpr std::string_view kCheckFirewall = "Check local firewall is not blocking UDP port ";
inline constexpr std::string_view kCheckStunSettings = "Also check STUN settings or use different STUN servers.";
inline constexpr std::string_view kUpnpFailed = "Unable to use UPnP for NAT routing (UPnP failed)";
inline constexpr std::string_view kUpnpRefused =
    "Error: UPnP NAT routing is disabled on the server or router. Please see Help for how to enable it.";
inline constexpr std::string_view kNoPublicAddress = "Unable to auto-detect public IP. Using private IP";
inline constexpr std::string_view kOddRtpPort = "Public RTP port is not an even number (it should be).";
inline constexpr std::string_view kCheckNetworkSettings = "Check your Network Settings.";
inline constexpr std::string_view kNatWrong = "Something is wrong with the NAT device";
inline constexpr std::string_view kNatOddPorts = "It always assigns'odd' ports which are forbidden for Rtp";
inline constexpr std::string_view kNatCheck = "Check your NAT or turn off STUN.";

// SSDP search for an Internet Gateway Device.
inline constexpr std::string_view kSsdpSearch =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 2\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "\r\n";
inline constexpr std::uint32_t kSsdpGroup = 0xEFFFFFFAu;  // 239.255.255.250
inline constexpr std::uint16_t kSsdpPort = 1900;
inline constexpr std::string_view kLocationField = "LOCATION:";

// Gateway services in the order they are tried, and the prefix of their type names.
inline constexpr std::string_view kServiceTypePrefix = "urn:schemas-upnp-org:service:";
inline constexpr std::string_view kWanIpService = "WANIPConnection:1";
inline constexpr std::string_view kWanPppService = "WANPPPConnection:1";
inline constexpr std::string_view kServiceTypeTag = "<serviceType>";
inline constexpr std::string_view kControlUrlTag = "<controlURL>";

// Device description fetch (%s path, %s host:port).
inline constexpr std::string_view kHttpGet =
    "GET %s HTTP/1.1\r\n"
    "Host: %s\r\n"
    "Connection: close\r\n"
    "\r\n";

// SOAP request: path, host:port, body length, service type, action, body.
inline constexpr std::string_view kSoapPost =
    "POST %s HTTP/1.1\r\n"
    "Host: %s\r\n"
    "CONTENT-LENGTH: %d\r\n"
    "CONTENT-TYPE: text/xml; charset=\"utf-8\"\r\n"
    "SOAPACTION: \"urn:schemas-upnp-org:service:%s#%s\"\r\n"
    "\r\n"
    "%s";
inline constexpr std::string_view kSoapEnvelopeHead =
    "<?xml version=\"1.0\"?>\r\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>";
// Action, service type, arguments, action.
inline constexpr std::string_view kSoapAction = "<u:%s xmlns:u=\"urn:schemas-upnp-org:service:%s\">%s</u:%s>";
inline constexpr std::string_view kSoapEnvelopeTail = "</s:Body></s:Envelope>\r\n";

inline constexpr std::string_view kGetConnectionTypeInfo = "GetConnectionTypeInfo";
inline constexpr std::string_view kGetNatRsipStatus = "GetNATRSIPStatus";
inline constexpr std::string_view kGetExternalIpAddress = "GetExternalIPAddress";
inline constexpr std::string_view kAddPortMapping = "AddPortMapping";
inline constexpr std::string_view kNewConnectionType = "NewConnectionType";
inline constexpr std::string_view kNewNatEnabled = "NewNATEnabled";
inline constexpr std::string_view kNewExternalIpAddress = "NewExternalIPAddress";
inline constexpr std::string_view kUnconfigured = "Unconfigured";
inline constexpr std::string_view kFaultString = "<faultstring>";
// External port, protocol, internal port, internal client, protocol.
inline constexpr std::string_view kAddPortMappingArguments =
    "<NewRemoteHost></NewRemoteHost>"
    "<NewExternalPort>%d</NewExternalPort>"
    "<NewProtocol>%s</NewProtocol>"
    "<NewInternalPort>%d</NewInternalPort>"
    "<NewInternalClient>%s</NewInternalClient>"
    "<NewEnabled>1</NewEnabled>"
    "<NewPortMappingDescription>Corvina %s Redirection</NewPortMappingDescription>"
    "<NewLeaseDuration>0</NewLeaseDuration>";
inline constexpr std::string_view kUdp = "UDP";

}  // namespace corvina::call::nat
