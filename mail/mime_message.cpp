#include "mail/mime_message.h"

#include <cstdio>
#include <cstdlib>

#include "platform/base64.h"
#include "platform/product.h"

namespace corvina::mail {
namespace {

constexpr std::string_view kBoundaryStem = "gc0p4Jq0M2Yt08jU534c";
constexpr int kBoundaryTries = 100;
constexpr std::size_t kEncodedWordMax = 75;
constexpr std::string_view kWordStart = "=?utf-8?q?";
constexpr std::string_view kWordEnd = "?=";
constexpr std::size_t kBase64LineChars = 76;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (Lower(text[text.size() - end.size() + i]) != end[i]) return false;
  }
  return true;
}

// The length of the UTF-8 sequence starting with `lead` (1 for a stray continuation byte).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xf0 && lead < 0xf8) return 4;
  if (lead >= 0xe0) return lead < 0xf0 ? 3 : 1;
  if (lead >= 0xc0) return 2;
  return 1;
}

// Q encoding of one character (all its bytes): letters, digits and a few safe signs as they are.
std::string QEncode(std::string_view character) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : character) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' ||
                       c == '*' || c == '+' || c == '-' || c == '/';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '=';
      out += kHex[c >> 4];
      out += kHex[c & 0x0f];
    }
  }
  return out;
}

// Every kind of line end in `text` becomes `lineEnd`.
std::string ReplaceLineEnds(std::string_view text, std::string_view lineEnd) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += lineEnd;
    } else if (text[i] == '\n') {
      out += lineEnd;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Base64Lines(std::string_view bytes) {
  const std::string encoded = platform::Base64Encode(bytes);
  std::string out;
  out.reserve(encoded.size() + encoded.size() / kBase64LineChars * 2 + 2);
  for (std::size_t i = 0; i < encoded.size(); i += kBase64LineChars) {
    out.append(encoded, i, kBase64LineChars);
    out += "\r\n";
  }
  return out;
}

}  // namespace

std::string FormatMailDate(const std::tm& local, long offsetSeconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const long minutes = std::labs(offsetSeconds) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %.2d %s %.4d %.2d:%.2d:%.2d %c%.2ld%.2ld", kDays[(local.tm_wday % 7 + 7) % 7],
                local.tm_mday, kMonths[(local.tm_mon % 12 + 12) % 12], local.tm_year + 1900, local.tm_hour,
                local.tm_min, local.tm_sec, offsetSeconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

std::string EncodeSubject(std::string_view subject) {
  std::string clean(subject);
  bool ascii = true;
  for (char& c : clean) {
    if (IsControl(static_cast<unsigned char>(c))) c = ' ';
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
  }
  if (ascii) return clean;
  const std::size_t room = kEncodedWordMax - kWordStart.size() - kWordEnd.size();
  std::string out;
  std::string word;
  auto closeWord = [&] {
    if (!out.empty()) out += "\r\n ";
    out += kWordStart;
    out += word;
    out += kWordEnd;
    word.clear();
  };
  for (std::size_t i = 0; i < clean.size();) {
    std::size_t length = SequenceLength(static_cast<unsigned char>(clean[i]));
    if (i + length > clean.size()) length = 1;
    const std::string piece = QEncode(std::string_view(clean).substr(i, length));
    if (word.size() + piece.size() > room) closeWord();
    word += piece;
    i += length;
  }
  if (!word.empty()) closeWord();
  return out;
}

std::optional<std::string> FindBoundary(std::string_view body) {
  for (int n = 0; n < kBoundaryTries; ++n) {
    std::string candidate = std::string(kBoundaryStem) + std::to_string(n);
    if (body.find(candidate) == std::string_view::npos) return candidate;
  }
  return std::nullopt;
}

std::string_view AttachmentType(std::string_view path) {
  if (EndsWithNoCase(path, ".wav")) return "audio/wav";
  if (EndsWithNoCase(path, ".mp3")) return "audio/mpeg";
  return "application/octet-stream";
}

std::string AttachmentName(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string out;
  for (char c : name) {
    if (IsControl(static_cast<unsigned char>(c))) {
      out += ' ';
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::optional<std::string> ComposeMessage(const MessageParts& parts, std::string_view date) {
  std::string out = "MIME-Version: 1.0\r\nFrom: " + parts.from + "\r\nTo: " + parts.to +
                    "\r\nSubject: " + EncodeSubject(parts.subject) + "\r\nDate: " + std::string(date) +
                    "\r\nX-Mailer: " CORVINA_MAKER " " CORVINA_NAME " " CORVINA_VERSION "\r\n";
  const std::string body = ReplaceLineEnds(parts.body, "\r\n");
  constexpr std::string_view kTextType = "Content-Type: text/plain; charset=\"utf-8\"\r\n\r\n";
  if (parts.attachments.empty()) {
    out += kTextType;
    out += body;
    return out;
  }
  const std::optional<std::string> boundary = FindBoundary(body);
  if (!boundary) return std::nullopt;
  out += "Content-Type: multipart/mixed; boundary=" + *boundary + "\r\n\r\n--" + *boundary + "\r\n";
  out += kTextType;
  out += body;
  for (const Attachment& file : parts.attachments) {
    const std::string name = AttachmentName(file.path);
    out += "\r\n--" + *boundary + "\r\nContent-Type: " + std::string(AttachmentType(file.path)) + "; name=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
           "\"\r\n\r\n";
    out += Base64Lines(file.contents);
  }
  out += "\r\n--" + *boundary + "--\r\n";
  return out;
}

std::string SmtpDataText(std::string_view message) {
  const std::string lines = ReplaceLineEnds(message, "\r\n");
  std::string out;
  out.reserve(lines.size() + 8);
  bool lineStart = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lineStart && lines[i] == '.') out += '.';
    out += lines[i];
    lineStart = lines[i] == '\n';
  }
  if (!out.empty() && !lineStart) out += "\r\n";
  out += ".\r\n";
  return out;
}

std::string UnixLineEnds(std::string_view message) { return ReplaceLineEnds(message, "\n"); }

}  // namespace corvina::mail
