// Any bytes as what a Lumo server sends to a holding phone: the phone's reader must give the
// same payload, ending and consumption whether the bytes come at once or in pieces, never hand
// on more than a header announced (at most 1024 bytes a frame), and stop for good at a refusal
// or at a length above 1024, taking nothing after. The first input byte picks whether the
// reader starts at the value or at the first header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "media/lumo_stream.h"

namespace {

using corvina::media::LumoStreamReader;

struct Outcome {
  std::vector<std::uint8_t> payload;
  std::size_t used = 0;
  LumoStreamReader::Phase phase;
  LumoStreamReader::Ending ending;
  std::size_t wanted = 0;
  bool operator==(const Outcome&) const = default;
};

// `data` fed in pieces of `piece` bytes (0: all at once).
Outcome Read(std::span<const std::uint8_t> data, bool skipValue, std::size_t piece) {
  LumoStreamReader reader(skipValue);
  Outcome out;
  for (std::size_t at = 0; at < data.size(); at += piece == 0 ? data.size() : piece) {
    const std::size_t n = piece == 0 ? data.size() : std::min(piece, data.size() - at);
    const std::size_t before = out.payload.size();
    const std::size_t took = reader.Feed(data.subspan(at, n), out.payload);
    if (took > n || out.payload.size() - before > took) std::abort();
    if (took < n && !reader.Ended()) std::abort();  // only an ended reader leaves bytes
    out.used += took;
    if (reader.Ended() && (reader.Wanted() != 0 || reader.Feed(data.subspan(at, n), out.payload) != 0)) std::abort();
    if (reader.Ended()) break;
  }
  out.phase = reader.CurrentPhase();
  out.ending = reader.HowEnded();
  out.wanted = reader.Wanted();
  if (reader.Ended() != (out.ending != LumoStreamReader::Ending::kNone)) std::abort();
  if (out.ending == LumoStreamReader::Ending::kRefused && reader.Value() >= corvina::media::kLumoMinimumValue) std::abort();
  if (out.phase == LumoStreamReader::Phase::kPayload && out.wanted > corvina::media::kLumoMaxFrameBytes) std::abort();
  return out;
}

// The stream walked by hand: value, then header after header; the payload bytes it should give.
std::size_t ExpectedPayload(std::span<const std::uint8_t> data, bool skipValue) {
  std::size_t at = skipValue ? 0 : 4, total = 0;
  if (!skipValue && data.size() >= 4 && (data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24) < 255) return 0;
  while (at + 3 <= data.size()) {
    const std::size_t length = data[at + 1] | data[at + 2] << 8;
    if (length > 1024) break;
    const std::size_t n = std::min(length, data.size() - at - 3);
    total += n;
    at += 3 + length;
  }
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool skipValue = (data[0] & 1) != 0;
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  const Outcome whole = Read(bytes, skipValue, 0);
  if (whole.payload.size() != ExpectedPayload(bytes, skipValue)) std::abort();
  for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{163}}) {
    if (!(Read(bytes, skipValue, piece) == whole)) std::abort();
  }
  return 0;
}
