#include "platform/name_resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

std::optional<std::uint32_t> LookUpIpv4(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
  std::optional<std::uint32_t> result;
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
      const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
      result = ntohl(sin->sin_addr.s_addr);
      break;
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
  std::optional<std::uint32_t> address;  // guarded by mutex
};

}  // namespace

SystemNameResolver::SystemNameResolver(int timeoutMs, HostLookup lookup)
    : timeoutMs_(timeoutMs), lookup_(std::move(lookup)) {}

std::optional<std::uint32_t> SystemNameResolver::ResolveIpv4(std::string_view host) {
  if (auto dotted = ParseIpv4(host)) return dotted;
  if (host.empty() || host.find('\0') != std::string_view::npos) return std::nullopt;
  if (abandoned_->load() >= kMaxAbandonedLookups) return std::nullopt;
  auto result = std::make_shared<LookupResult>();
  try {
    std::thread([result, abandoned = abandoned_, lookup = lookup_, name = std::string(host)] {
      std::optional<std::uint32_t> address = lookup(name);
      std::lock_guard lock(result->mutex);
      result->finished = true;
      result->address = address;
      if (result->abandoned) --*abandoned;
      result->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return std::nullopt;  // no thread to be had
  }
  std::unique_lock lock(result->mutex);
  if (!result->done.wait_for(lock, std::chrono::milliseconds(timeoutMs_), [&] { return result->finished; })) {
    result->abandoned = true;
    ++*abandoned_;
    return std::nullopt;
  }
  return result->address;
}

}  // namespace corvina::platform
