#include "call/sdp_reader.h"

#include "call/sdp_texts.h"
#include "platform/text.h"

namespace corvina::call {
namespace {

struct SdpLine {
  std::string_view type;
  std::string_view value;
};

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Splits off the next line at `pos`: leading characters up to space are skipped, the type runs
// to ' ', '=' or the line end, then spaces and '=' are skipped and the value runs to the line
// end. False when only blanks are left.
bool NextLine(std::string_view text, std::size_t& pos, SdpLine& line) {
  const std::size_t n = text.size();
  while (pos < n && static_cast<unsigned char>(text[pos]) <= 32) ++pos;
  if (pos >= n) return false;
  std::size_t start = pos;
  while (pos < n && text[pos] != ' ' && text[pos] != '=' && !IsLineEnd(text[pos])) ++pos;
  line.type = platform::CutToUtf16Units(text.substr(start, pos - start), platform::kMaxTextUnits);
  while (pos < n && (text[pos] == ' ' || text[pos] == '=')) ++pos;
  start = pos;
  while (pos < n && !IsLineEnd(text[pos])) ++pos;
  line.value = platform::CutToUtf16Units(text.substr(start, pos - start), platform::kMaxTextUnits);
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The next blank-separated word of `s` from `pos`, empty at the end.
std::string_view NextWord(std::string_view s, std::size_t& pos) {
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  std::size_t start = pos;
  while (pos < s.size() && !IsBlank(s[pos])) ++pos;
  return s.substr(start, pos - start);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The leading decimal number of `s` when it fits 16 bits, else 0 ("8000/2" reads 8000).
std::uint16_t LeadingPort(std::string_view s) {
  std::uint32_t v = 0;
  for (char c : s) {
    if (!IsDigit(c)) break;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
    if (v > 65535) return 0;
  }
  return static_cast<std::uint16_t>(v);
}

// A payload-list entry: all digits, 0-127.
bool ReadPayloadType(std::string_view word, std::uint8_t& pt) {
  if (word.empty() || word.size() > 3) return false;
  unsigned v = 0;
  for (char c : word) {
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 127) return false;
  pt = static_cast<std::uint8_t>(v);
  return true;
}

// A word that can be echoed on the wire as it is: printable ASCII only.
bool IsPrintableWord(std::string_view word) {
  if (word.empty()) return false;
  for (char c : word) {
    if (c <= 32 || c >= 127) return false;
  }
  return true;
}

// "rtpmap": the leading number modulo 256; below 128 the encoding name (to ' ', '/' or the
// end) is kept with it.
void ReadRtpMap(std::string_view value, RemoteSdp& sdp) {
  std::size_t pos = 0;
  if (pos >= value.size() || !IsDigit(value[pos])) return;
  unsigned pt = 0;
  while (pos < value.size() && IsDigit(value[pos])) pt = (pt * 10 + static_cast<unsigned>(value[pos++] - '0')) % 256;
  if (pt >= 128) return;
  while (pos < value.size() && value[pos] == ' ') ++pos;
  std::size_t start = pos;
  while (pos < value.size() && value[pos] != ' ' && value[pos] != '/') ++pos;
  sdp.rtpMaps.push_back({static_cast<std::uint8_t>(pt), std::string(value.substr(start, pos - start))});
}

void ReadAttribute(std::string_view value, RemoteSdp& sdp) {
  std::size_t pos = 0;
  while (pos < value.size() && value[pos] != ' ' && value[pos] != ':') ++pos;
  std::string_view name = value.substr(0, pos);
  while (pos < value.size() && (value[pos] == ' ' || value[pos] == ':')) ++pos;
  std::string_view rest = value.substr(pos);
  if (name == sdp_text::kRtpmap) {
    ReadRtpMap(rest, sdp);
  } else if (name == sdp_text::kDirection) {
    std::size_t end = rest.find(' ');
    if (platform::EqualsIgnoreCase(rest.substr(0, end), sdp_text::kActive)) sdp.directionActive = true;
  } else if (name == sdp_text::kSendOnlyAttribute) {
    sdp.sendOnly = true;
  } else if (name == sdp_text::kLocal) {
    std::size_t p = 0;
    sdp.hasLocal = true;
    sdp.localAddress = std::string(NextWord(rest, p));
    sdp.localPort = LeadingPort(NextWord(rest, p));
  } else if (name == sdp_text::kDomain) {
    sdp.domain = std::string(rest);
  }
}

}  // namespace

std::uint8_t RemoteSdp::PayloadTypeOf(std::string_view encoding, std::uint8_t otherwise) const {
  for (const SdpRtpMap& m : rtpMaps) {
    if (platform::EqualsIgnoreCase(m.encoding, encoding)) return m.payloadType;
  }
  return otherwise;
}

RemoteSdp ReadSdp(std::string_view text) {
  RemoteSdp sdp;
  // Which description the lines belong to: the session part, the audio stream, or another.
  enum class Section { kSession, kAudio, kOther } section = Section::kSession;
  std::size_t pos = 0;
  SdpLine line;
  for (std::size_t count = 0; count < kMaxSdpLines && NextLine(text, pos, line); ++count) {
    if (line.type == "m") {
      std::size_t p = 0;
      std::string_view media = NextWord(line.value, p);
      std::string_view port = NextWord(line.value, p);
      if (media == sdp_text::kAudio && !sdp.hasAudio) {
        section = Section::kAudio;
        sdp.hasAudio = true;
        sdp.audioPort = LeadingPort(port);
        for (std::string_view w = NextWord(line.value, p); !w.empty(); w = NextWord(line.value, p)) {
          std::uint8_t pt;
          if (ReadPayloadType(w, pt)) sdp.payloadTypes.push_back(pt);
        }
      } else {
        section = Section::kOther;
        std::string_view protocol = NextWord(line.value, p);
        std::string_view format = NextWord(line.value, p);
        // A malformed line (a word missing or not printable) cannot be mirrored and is left out.
        if (sdp.declined.size() < kMaxDeclinedMedia && IsPrintableWord(media) && IsPrintableWord(protocol) &&
            IsPrintableWord(format)) {
          sdp.declined.push_back({std::string(media), std::string(protocol), std::string(format), !sdp.hasAudio});
        }
      }
      continue;
    }
    if (section == Section::kOther) continue;
    if (line.type == "c") {
      std::size_t p = 0;
      NextWord(line.value, p);
      NextWord(line.value, p);
      sdp.connectionAddress = std::string(NextWord(line.value, p));
    } else if (line.type == "a") {
      ReadAttribute(line.value, sdp);
    }
  }
  return sdp;
}

}  // namespace corvina::call
