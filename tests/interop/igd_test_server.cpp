#include "igd_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace corvina::testing {
namespace {

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  std::size_t a = text.find(open);
  if (a == std::string::npos) return "";
  a += open.size();
  std::size_t b = text.find(close, a);
  return b == std::string::npos ? "" : text.substr(a, b - a);
}

std::string HttpOk(const std::string& body, int status = 200) {
  return std::string("HTTP/1.1 ") + (status == 200 ? "200 OK" : "500 Internal Server Error") +
         "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nServer: test IGD\r\n\r\n" + body;
}

std::string Envelope(const std::string& inner) {
  return "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
         inner + "</s:Body></s:Envelope>\r\n";
}

std::string Service(const std::string& type, const std::string& path) {
  return "<service><serviceType>urn:schemas-upnp-org:service:" + type + "</serviceType><serviceId>urn:upnp-org:" +
         type + "</serviceId><controlURL>" + path + "</controlURL><eventSubURL>/evt</eventSubURL>"
         "<SCPDURL>/scpd.xml</SCPDURL></service>";
}

}  // namespace

bool IgdTestServer::Start(std::uint32_t httpAddress, std::uint16_t ssdpPort, std::uint32_t multicastInterface) {
  httpAddress_ = httpAddress;
  udp_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  tcp_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (udp_ < 0 || tcp_ < 0) return false;
  int one = 1;
  setsockopt(udp_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(ssdpPort);
  a.sin_addr.s_addr = multicastInterface != 0 ? htonl(INADDR_ANY) : htonl(httpAddress);
  if (bind(udp_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  if (multicastInterface != 0) {
    ip_mreq group{};
    group.imr_multiaddr.s_addr = htonl(0xEFFFFFFA);
    group.imr_interface.s_addr = htonl(multicastInterface);
    if (setsockopt(udp_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0) return false;
  }
  socklen_t len = sizeof a;
  getsockname(udp_, reinterpret_cast<sockaddr*>(&a), &len);
  ssdpPort_ = ntohs(a.sin_port);
  sockaddr_in h{};
  h.sin_family = AF_INET;
  h.sin_addr.s_addr = htonl(httpAddress);
  if (bind(tcp_, reinterpret_cast<sockaddr*>(&h), sizeof h) != 0 || listen(tcp_, 8) != 0) return false;
  len = sizeof h;
  getsockname(tcp_, reinterpret_cast<sockaddr*>(&h), &len);
  httpPort_ = ntohs(h.sin_port);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void IgdTestServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (int* fd : {&udp_, &tcp_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

std::vector<std::string> IgdTestServer::Actions() {
  std::lock_guard lock(mutex_);
  return actions_;
}

std::vector<std::string> IgdTestServer::Mappings() {
  std::lock_guard lock(mutex_);
  return mappings_;
}

void IgdTestServer::Run() {
  while (!stop_) {
    pollfd fds[2] = {{udp_, POLLIN, 0}, {tcp_, POLLIN, 0}};
    if (poll(fds, 2, 50) <= 0) continue;
    if (fds[0].revents & POLLIN) AnswerSearch();
    if (fds[1].revents & POLLIN) {
      int client = accept4(tcp_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        Serve(client);
        close(client);
      }
    }
  }
}

void IgdTestServer::AnswerSearch() {
  char buffer[2048];
  sockaddr_in from{};
  socklen_t len = sizeof from;
  ssize_t n = recvfrom(udp_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
  if (n <= 0 || std::string(buffer, static_cast<std::size_t>(n)).rfind("M-SEARCH", 0) != 0) return;
  ++searches_;
  in_addr host{htonl(httpAddress_)};
  const std::string reply = "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\n"
                            "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\nEXT:\r\n"
                            "Location: http://" + std::string(inet_ntoa(host)) + ":" + std::to_string(httpPort_) +
                            "/rootDesc.xml\r\n\r\n";
  sendto(udp_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
}

void IgdTestServer::Serve(int client) {
  std::string request;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    const std::size_t head = request.find("\r\n\r\n");
    if (head != std::string::npos) {
      const std::string length = Between(request, "CONTENT-LENGTH: ", "\r\n");
      if (request.size() >= head + 4 + (length.empty() ? 0 : std::stoul(length))) break;
    }
    pollfd p{client, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline || poll(&p, 1, 100) < 0) return;
    if (!(p.revents & POLLIN)) continue;
    char chunk[4096];
    ssize_t n = recv(client, chunk, sizeof chunk, 0);
    if (n <= 0) return;
    request.append(chunk, static_cast<std::size_t>(n));
  }
  const std::string reply = Answer(request);
  send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
}

std::string IgdTestServer::Answer(const std::string& request) {
  if (request.rfind("GET /rootDesc.xml ", 0) == 0) {
    std::string services = behaviour_.pppOnly ? "" : Service("WANIPConnection:1", "/ctl/IPConn");
    services += Service("WANPPPConnection:1", "ctl/PPPConn");
    return HttpOk("<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
                  "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
                  "<serviceList>" + services + "</serviceList></device></root>");
  }
  const std::string soapAction = Between(request, "SOAPACTION: \"urn:schemas-upnp-org:service:", "\"");
  const std::string service = soapAction.substr(0, soapAction.find('#'));
  const std::string action = soapAction.substr(soapAction.find('#') + 1);
  {
    std::lock_guard lock(mutex_);
    actions_.push_back(soapAction);
    if (action == "AddPortMapping") mappings_.push_back(Between(request, "<u:AddPortMapping", "</u:AddPortMapping>"));
  }
  const std::string u = "<u:" + action + "Response xmlns:u=\"urn:schemas-upnp-org:service:" + service + "\">";
  const std::string end = "</u:" + action + "Response>";
  if (action == "GetConnectionTypeInfo") {
    return HttpOk(Envelope(u + "<NewConnectionType>" + (behaviour_.unconfigured ? "Unconfigured" : "IP_Routed") +
                           "</NewConnectionType><NewPossibleConnectionTypes>IP_Routed</NewPossibleConnectionTypes>" + end));
  }
  if (action == "GetNATRSIPStatus") {
    return HttpOk(Envelope(u + "<NewRSIPAvailable>0</NewRSIPAvailable><NewNATEnabled>" +
                           (behaviour_.natEnabled ? "1" : "0") + "</NewNATEnabled>" + end));
  }
  if (action == "GetExternalIPAddress") {
    return HttpOk(Envelope(u + "<NewExternalIPAddress>" + behaviour_.externalAddress + "</NewExternalIPAddress>" + end));
  }
  if (action == "AddPortMapping" && !behaviour_.refuseMapping) return HttpOk(Envelope(u + end));
  return HttpOk(Envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
                         "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>718</errorCode>"
                         "<errorDescription>ConflictInMappingEntry</errorDescription></UPnPError></detail></s:Fault>"),
                500);
}

}  // namespace corvina::testing
