#include "platform/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/name_resolver.h"
#include "platform/socket_address.h"
#include "platform/unique_fd.h"

namespace corvina::platform {
namespace {

// A documentation address (TEST-NET-2): the route lookup needs a destination outside the
// machine, and connecting a UDP socket only looks the route up.
constexpr std::uint32_t kRouteProbe = 0xC6336401;  // 198.51.100.1

std::optional<std::uint32_t> FirstInterfaceAddress() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::optional<std::uint32_t> found;
  for (ifaddrs* i = list; i != nullptr && !found; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    const std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    if (address != 0 && !IsLoopbackAddress(address)) found = address;
  }
  freeifaddrs(list);
  return found;
}

std::optional<std::uint32_t> HostNameAddress() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
  std::vector<std::uint32_t> addresses;
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
      addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr));
    }
  }
  freeaddrinfo(list);
  return PickHostAddress(addresses);
}

}  // namespace

std::optional<std::uint32_t> SourceAddressToward(std::uint32_t destination) {
  UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) return std::nullopt;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(destination);
  to.sin_port = htons(9);
  if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return std::nullopt;
  sockaddr_in mine{};
  socklen_t length = sizeof mine;
  if (getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&mine), &length) != 0) return std::nullopt;
  const std::uint32_t address = ntohl(mine.sin_addr.s_addr);
  if (address == 0) return std::nullopt;
  return address;
}

std::optional<std::uint32_t> PickHostAddress(std::span<const std::uint32_t> addresses) {
  if (addresses.empty()) return std::nullopt;
  std::uint32_t pick = addresses.front();
  for (std::size_t i = 1; i < addresses.size(); ++i) {
    const std::uint32_t a = addresses[i];
    const std::uint32_t first = a >> 24;
    if (!IsPrivateAddress(a) && first != 0 && first != 127) pick = a;
  }
  return pick;
}

std::string LocalAddress(std::uint32_t server) {
  if (const char* forced = std::getenv(kLocalAddressVariable)) {
    if (auto parsed = ParseIpv4(forced)) return FormatIpv4(*parsed);
  }
  std::optional<std::uint32_t> address;
  if (server != 0) address = SourceAddressToward(server);
  if (!address) address = SourceAddressToward(kRouteProbe);
  if (!address) address = FirstInterfaceAddress();
  if (!address) address = HostNameAddress();
  return FormatIpv4(address.value_or(0x7F000001));
}

std::string MachineName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace corvina::platform
