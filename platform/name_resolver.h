// Host name resolution to IPv4 addresses. A dotted address is taken as it is; a name is looked
// up and its first IPv4 address is used (or its first few, for callers that try each in turn). No SRV lookups. A look-up blocks its caller for at
// most a set time, so it belongs on a worker thread, never on the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  // Up to `maxAddresses` IPv4 addresses of `host`, in the resolver's order; empty when it does
  // not resolve. This default gives the one address ResolveIpv4 finds.
  virtual std::vector<std::uint32_t> ResolveIpv4List(std::string_view host, std::size_t maxAddresses);
};

// The first IPv4 address of `host` from the system resolver (getaddrinfo); blocks for as long
// as the system takes.
std::optional<std::uint32_t> LookUpIpv4(const std::string& host);
// The first `maxAddresses` distinct IPv4 addresses of `host` from the system resolver.
std::vector<std::uint32_t> LookUpIpv4List(const std::string& host, std::size_t maxAddresses);

using HostLookup = std::function<std::optional<std::uint32_t>(const std::string& host)>;
using HostListLookup = std::function<std::vector<std::uint32_t>(const std::string& host, std::size_t maxAddresses)>;

inline constexpr int kDefaultResolveTimeoutMs = 5000;
// Look-ups still running after their caller gave up; beyond this many, new ones fail at once
// rather than pile up behind a resolver that hangs.
inline constexpr int kMaxAbandonedLookups = 4;

// Dotted addresses directly; names through `lookup` (the system resolver) on a helper thread.
// A look-up that takes longer than `timeoutMs` reports failure; its helper finishes on its own
// and drops its answer.
class SystemNameResolver final : public NameResolver {
 public:
  explicit SystemNameResolver(int timeoutMs = kDefaultResolveTimeoutMs, HostListLookup lookup = LookUpIpv4List);
  // A look-up that finds one address per name.
  SystemNameResolver(int timeoutMs, HostLookup lookup);
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override;
  std::vector<std::uint32_t> ResolveIpv4List(std::string_view host, std::size_t maxAddresses) override;

 private:
  int timeoutMs_;
  HostListLookup lookup_;
  // Shared with the helpers, which may outlive the resolver.
  std::shared_ptr<std::atomic<int>> abandoned_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace corvina::platform
