// Any bytes as what a phone sends to the Orrin server: the server's reader must give the same
// messages whether the bytes come at once or in pieces, keep codes and names within their
// fields, stay refused once it has refused, and hand the decoder only whole frames.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "media/orrin_protocol.h"

namespace {

using corvina::media::OrrinStreamReader;

// Every message the reader gives for `data` cut into pieces of `piece` bytes (0: all at once).
std::vector<std::string> Read(std::string_view data, std::size_t piece) {
  using Item = OrrinStreamReader::Item;
  OrrinStreamReader reader;
  corvina::media::GsmDecoder decoder;
  std::vector<std::string> items;
  std::string text;
  std::uint8_t frame[corvina::media::kGsmFrameBytes];
  std::int32_t samples[corvina::media::kFrameSamples];
  bool invalid = false;
  for (std::size_t at = 0; at < data.size() || at == 0; at += piece == 0 ? data.size() + 1 : piece) {
    reader.Append(data.substr(at, piece == 0 ? data.size() : piece));
    for (Item item = reader.Next(&text, frame); item != Item::kNeedMore; item = reader.Next(&text, frame)) {
      if (item == Item::kInvalid) {
        invalid = true;
        break;
      }
      if (invalid) std::abort();  // nothing after a refusal
      if (item == Item::kGreeting && (text.size() > corvina::media::kOrrinCodeField || text.find('\0') != std::string::npos)) std::abort();
      if (item == Item::kName && text.size() > corvina::media::kOrrinMaxNameBytes) std::abort();
      if (item == Item::kFrame) {
        decoder.DecodeFrame(frame, samples);
        text.assign(reinterpret_cast<const char*>(frame), sizeof frame);
      }
      items.push_back(std::to_string(static_cast<int>(item)) + text);
    }
    if (invalid) break;
  }
  if (invalid) items.push_back("invalid");
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> whole = Read(bytes, 0);
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{35}}) {
    if (Read(bytes, piece) != whole) std::abort();
  }
  return 0;
}
