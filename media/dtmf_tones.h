// The digits a phone can send and how each sounds: the telephone-event codes of RFC 2833 for
// "0123456789*#ABCD!" (0 to 16, '!' being flash), and the in-band tone pairs of the DTMF grid
// for "0123456789*#" (A to D and '!' have no in-band tone and sound as silence).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

namespace corvina::media {

// Samples of one in-band digit tone (125 ms).
inline constexpr std::size_t kDtmfToneSamples = 1000;

// The RFC 2833 event code of `c`, if it has one.
std::optional<std::uint8_t> DtmfEventCode(char c);

// The (column, row) frequencies in Hz of `c`'s in-band tone, if it has one.
std::optional<std::pair<int, int>> DtmfToneFrequencies(char c);

// Writes `c`'s tone into `out` at the internal sample scale: each frequency advances a phase
// through a 4096-entry sine table by (f * 4096 + 4000) / 8000 per sample (phases start at 0,
// advance before each sample and wrap at 4096), and sample i is (sin1 + sin2) * 32768,
// truncated. A character without a tone gives zeros.
void GenerateDtmfTone(char c, std::span<std::int32_t, kDtmfToneSamples> out);

}  // namespace corvina::media
