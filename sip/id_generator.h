// The generators of branch parameters, Call-IDs and tags. Each counter is taken and advanced
// under a lock (one for Call-ID and tag, one for the branch), so no two messages share a value.
// The engine owns the one instance.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace corvina::sip {

class IdGenerator {
 public:
  // `callIdSeed` is the local date and time in seconds, `tagSeed` the tick count modulo 10000.
  IdGenerator(int processNumber, std::uint32_t callIdSeed, std::uint32_t tagSeed);
  // Seeds from the clocks as above.
  IdGenerator(int processNumber, const platform::WallClock& wall, const platform::TickClock& ticks);

  IdGenerator(const IdGenerator&) = delete;
  IdGenerator& operator=(const IdGenerator&) = delete;

  // "z9hG4bK" + counter + process number.
  std::string NewBranch();
  // counter + "-" + process number + "-" + encoded device name + "@" + public address.
  std::string NewCallId(std::string_view publicAddress);
  std::string NewTag();

  int ProcessNumber() const { return processNumber_; }
  const std::string& CallIdSuffix() const { return callIdSuffix_; }

 private:
  const int processNumber_;
  const std::string callIdSuffix_;
  std::mutex callIdAndTagLock_;
  std::uint32_t callIdCounter_;
  std::uint32_t tagCounter_;
  std::mutex branchLock_;
  std::uint32_t branchCounter_ = 0;
};

}  // namespace corvina::sip
