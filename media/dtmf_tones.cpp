#include "media/dtmf_tones.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>

namespace corvina::media {
namespace {

constexpr std::string_view kEventCharacters = "0123456789*#ABCD!";
constexpr int kSineSize = 4096;
constexpr int kRate = 8000;

struct TonePair {
  char digit;
  int column;
  int row;
};

constexpr std::array<TonePair, 12> kTones = {{{'1', 1209, 697}, {'2', 1336, 697}, {'3', 1477, 697},
                                              {'4', 1209, 770}, {'5', 1336, 770}, {'6', 1477, 770},
                                              {'7', 1209, 852}, {'8', 1336, 852}, {'9', 1477, 852},
                                              {'*', 1209, 941}, {'0', 1336, 941}, {'#', 1477, 941}}};

// Built once, on first use (thread-safe static initialisation).
const std::array<double, kSineSize>& SineTable() {
  static const std::array<double, kSineSize> table = [] {
    std::array<double, kSineSize> t{};
    for (int i = 0; i < kSineSize; ++i) t[i] = std::sin(i * 2.0 * std::numbers::pi / kSineSize);
    return t;
  }();
  return table;
}

int PhaseIncrement(int frequency) { return (frequency * kSineSize + kRate / 2) / kRate; }

}  // namespace

std::optional<std::uint8_t> DtmfEventCode(char c) {
  const std::size_t at = kEventCharacters.find(c);
  if (at == std::string_view::npos) return std::nullopt;
  return static_cast<std::uint8_t>(at);
}

std::optional<std::pair<int, int>> DtmfToneFrequencies(char c) {
  for (const TonePair& t : kTones) {
    if (t.digit == c) return std::pair(t.column, t.row);
  }
  return std::nullopt;
}

void GenerateDtmfTone(char c, std::span<std::int32_t, kDtmfToneSamples> out) {
  const std::optional<std::pair<int, int>> tone = DtmfToneFrequencies(c);
  if (!tone) {
    std::fill(out.begin(), out.end(), 0);
    return;
  }
  const std::array<double, kSineSize>& sine = SineTable();
  const int step1 = PhaseIncrement(tone->first);
  const int step2 = PhaseIncrement(tone->second);
  int phase1 = 0;
  int phase2 = 0;
  for (std::int32_t& sample : out) {
    phase1 = (phase1 + step1) % kSineSize;
    phase2 = (phase2 + step2) % kSineSize;
    sample = static_cast<std::int32_t>((sine[phase1] + sine[phase2]) * 32768.0);
  }
}

}  // namespace corvina::media
