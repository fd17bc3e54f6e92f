// The URIs an outgoing call tries after redirects: Contact values split into their addresses,
// ordered by q (highest first, equal q in arrival order), never one URI twice, at most
// kMaxRedirectTargets per call.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::call {

inline constexpr std::size_t kMaxRedirectTargets = 16;
inline constexpr std::size_t kMaxContactPart = 259;

// Splits a Contact value at the commas that stand outside quotes and angle brackets.
std::vector<std::string_view> SplitContactValue(std::string_view value);

class RedirectTargets {
 public:
  // The first URI of the call counts as tried.
  explicit RedirectTargets(std::string_view firstUri);

  // Adds the addresses of one Contact value; parts that are too long or hold no URI are skipped.
  void AddContactValue(std::string_view value);
  bool Empty() const { return queue_.empty(); }
  // The next URI to try (now tried), in angle brackets.
  std::string TakeNext();

 private:
  struct Target {
    std::string uri;
    double q = 0.5;
  };
  bool Known(std::string_view uri) const;

  std::vector<std::string> tried_;
  std::deque<Target> queue_;
  std::size_t accepted_ = 0;  // targets ever queued this call
};

}  // namespace corvina::call
