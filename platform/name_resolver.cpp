#include "platform/name_resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace corvina::platform {

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  std::uint32_t result = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    unsigned value = 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      if (++digits > 3 || value > 255) return std::nullopt;
      ++i;
    }
    result = (result << 8) | value;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return result;
}

std::string FormatIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::vector<std::uint32_t> NameResolver::ResolveIpv4List(std::string_view host, std::size_t maxAddresses) {
  std::optional<std::uint32_t> one = maxAddresses > 0 ? ResolveIpv4(host) : std::nullopt;
  return one ? std::vector<std::uint32_t>{*one} : std::vector<std::uint32_t>{};
}

std::optional<std::uint32_t> LookUpIpv4(const std::string& host) {
  std::vector<std::uint32_t> list = LookUpIpv4List(host, 1);
  return list.empty() ? std::nullopt : std::optional<std::uint32_t>(list.front());
}

std::vector<std::uint32_t> LookUpIpv4List(const std::string& host, std::size_t maxAddresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  std::vector<std::uint32_t> result;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return result;
  for (addrinfo* ai = list; ai != nullptr && result.size() < maxAddresses; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
      const std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
      if (std::find(result.begin(), result.end(), address) == result.end()) result.push_back(address);
    }
  }
  freeaddrinfo(list);
  return result;
}

namespace {

// Where a helper leaves its answer; shared by the caller and the helper.
struct LookupResult {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;                 // guarded by mutex
  bool abandoned = false;                // guarded by mutex: the caller gave up waiting
  std::vector<std::uint32_t> addresses;  // guarded by mutex
};

}  // namespace

SystemNameResolver::SystemNameResolver(int timeoutMs, HostListLookup lookup)
    : timeoutMs_(timeoutMs), lookup_(std::move(lookup)) {}

SystemNameResolver::SystemNameResolver(int timeoutMs, HostLookup lookup)
    : timeoutMs_(timeoutMs), lookup_([one = std::move(lookup)](const std::string& host, std::size_t maxAddresses) {
        std::optional<std::uint32_t> address = maxAddresses > 0 ? one(host) : std::nullopt;
        return address ? std::vector<std::uint32_t>{*address} : std::vector<std::uint32_t>{};
      }) {}

std::optional<std::uint32_t> SystemNameResolver::ResolveIpv4(std::string_view host) {
  std::vector<std::uint32_t> list = ResolveIpv4List(host, 1);
  return list.empty() ? std::nullopt : std::optional<std::uint32_t>(list.front());
}

std::vector<std::uint32_t> SystemNameResolver::ResolveIpv4List(std::string_view host, std::size_t maxAddresses) {
  if (maxAddresses == 0) return {};
  if (auto dotted = ParseIpv4(host)) return {*dotted};
  if (host.empty() || host.find('\0') != std::string_view::npos) return {};
  if (abandoned_->load() >= kMaxAbandonedLookups) return {};
  auto result = std::make_shared<LookupResult>();
  try {
    std::thread([result, abandoned = abandoned_, lookup = lookup_, name = std::string(host), maxAddresses] {
      std::vector<std::uint32_t> addresses = lookup(name, maxAddresses);
      if (addresses.size() > maxAddresses) addresses.resize(maxAddresses);
      std::lock_guard lock(result->mutex);
      result->finished = true;
      result->addresses = std::move(addresses);
      if (result->abandoned) --*abandoned;
      result->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return {};  // no thread to be had
  }
  std::unique_lock lock(result->mutex);
  if (!result->done.wait_for(lock, std::chrono::milliseconds(timeoutMs_), [&] { return result->finished; })) {
    result->abandoned = true;
    ++*abandoned_;
    return {};
  }
  return result->addresses;
}

}  // namespace corvina::platform
