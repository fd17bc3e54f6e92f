// Host name resolution to IPv4 addresses. A dotted address is taken as it is; a name is looked
// up and its first IPv4 address is used. No SRV lookups. A look-up blocks its caller for at
// most a set time, so it belongs on a worker thread, never on the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace corvina::platform {

// "a.b.c.d" with four decimal parts of 0..255 and nothing else; host byte order.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

// Host byte order to "a.b.c.d".
std::string FormatIpv4(std::uint32_t address);

class NameResolver {
 public:
  virtual ~NameResolver() = default;
  // The IPv4 address of `host` in host byte order, or nothing when it does not resolve.
  virtual std::optional<std::uint32_t> ResolveIpv4(std::string_view host) = 0;
};

// The first IPv4 address of `host` from the system resolver (getaddrinfo); blocks for as long
// as the system takes.
std::optional<std::uint32_t> LookUpIpv4(const std::string& host);

using HostLookup = std::function<std::optional<std::uint32_t>(const std::string& host)>;

inline constexpr int kDefaultResolveTimeoutMs = 5000;
// Look-ups still running after their caller gave up; beyond this many, new ones fail at once
// rather than pile up behind a resolver that hangs.
inline constexpr int kMaxAbandonedLookups = 4;

// Dotted addresses directly; names through `lookup` (the system resolver) on a helper thread.
// A look-up that takes longer than `timeoutMs` reports failure; its helper finishes on its own
// and drops its answer.
class SystemNameResolver final : public NameResolver {
 public:
  explicit SystemNameResolver(int timeoutMs = kDefaultResolveTimeoutMs, HostLookup lookup = LookUpIpv4);
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override;

 private:
  int timeoutMs_;
  HostLookup lookup_;
  // Shared with the helpers, which may outlive the resolver.
  std::shared_ptr<std::atomic<int>> abandoned_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace corvina::platform
