// G.711 µ-law and A-law at the internal sample scale (16 times 16-bit). The A-law encoder works
// from segment bases and thresholds; the µ-law encoder looks codes up in an 8192-entry table
// (one entry per 64 internal units of magnitude) built at compile time from its segment rule;
// decoders use 256-entry tables built the same way. No state, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace corvina::media {

std::uint8_t MulawEncodeSample(std::int32_t sample);
std::int32_t MulawDecodeSample(std::uint8_t code);
std::uint8_t AlawEncodeSample(std::int32_t sample);
std::int32_t AlawDecodeSample(std::uint8_t code);

// Whole-buffer forms: convert min(in.size(), out.size()) values and return that count.
std::size_t MulawEncode(std::span<const std::int32_t> samples, std::span<std::uint8_t> codes);
std::size_t MulawDecode(std::span<const std::uint8_t> codes, std::span<std::int32_t> samples);
std::size_t AlawEncode(std::span<const std::int32_t> samples, std::span<std::uint8_t> codes);
std::size_t AlawDecode(std::span<const std::uint8_t> codes, std::span<std::int32_t> samples);

}  // namespace corvina::media
