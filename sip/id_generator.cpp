#include "sip/id_generator.h"

#include <ctime>

#include "sip/param_list.h"
#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {
namespace {

// Counters are written as signed 32-bit decimals.
std::int32_t AsSigned(std::uint32_t v) { return static_cast<std::int32_t>(v); }

std::uint32_t LocalSeconds(const platform::WallClock& wall) {
  std::tm local = wall.LocalTime(wall.Now());
  return static_cast<std::uint32_t>(timegm(&local));
}

}  // namespace

IdGenerator::IdGenerator(int processNumber, std::uint32_t callIdSeed, std::uint32_t tagSeed)
    : processNumber_(processNumber),
      callIdSuffix_(FormatWire(wire::kCallIdSuffix, {processNumber, PercentEncode(wire::kDeviceName)})),
      callIdCounter_(callIdSeed),
      tagCounter_(tagSeed) {}

IdGenerator::IdGenerator(int processNumber, const platform::WallClock& wall, const platform::TickClock& ticks)
    : IdGenerator(processNumber, LocalSeconds(wall), ticks.NowMs() % 10000) {}

std::string IdGenerator::NewBranch() {
  std::uint32_t n;
  {
    std::lock_guard<std::mutex> hold(branchLock_);
    n = branchCounter_++;
  }
  return FormatWire(wire::kBranch, {AsSigned(n), processNumber_});
}

std::string IdGenerator::NewCallId(std::string_view publicAddress) {
  std::uint32_t n;
  {
    std::lock_guard<std::mutex> hold(callIdAndTagLock_);
    n = callIdCounter_++;
  }
  return FormatWire(wire::kCallId, {AsSigned(n), callIdSuffix_, publicAddress});
}

std::string IdGenerator::NewTag() {
  std::uint32_t n;
  {
    std::lock_guard<std::mutex> hold(callIdAndTagLock_);
    n = tagCounter_++;
  }
  return FormatWire(wire::kTag, {AsSigned(n)});
}

}  // namespace corvina::sip
