// The text of an outgoing e-mail: headers, the plain-text body and base64 attachments, in UTF-8
// with CR LF line ends, and its forms for the SMTP DATA phase (dot-stuffed) and for a local
// mail system (LF line ends).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::mail {

// One attachment, read before anything is sent.
struct Attachment {
  std::string path;      // as given; only the file name goes into the message
  std::string contents;  // the file's bytes
};

struct MessageParts {
  std::string from;
  std::string to;  // the recipient list as given
  std::string subject;
  std::string body;
  std::vector<Attachment> attachments;
};

// "Tue, 08 Dec 2026 05:20:59 +0100": English names whatever the locale; `local` is the local
// broken-down time and `offsetSeconds` its offset from UTC (a zero offset is "+0000").
std::string FormatMailDate(const std::tm& local, long offsetSeconds);

// The subject as it goes into the header: control characters become spaces; an ASCII subject
// is kept as it is, any other becomes UTF-8 Q encoded words of at most 75 characters each,
// split between characters and folded onto continuation lines.
std::string EncodeSubject(std::string_view subject);

// The first "gc0p4Jq0M2Yt08jU534c<n>" (n from 0) absent from `body`; nothing after 100 tries.
std::optional<std::string> FindBoundary(std::string_view body);

// The MIME type by the file's extension (compared without regard to case).
std::string_view AttachmentType(std::string_view path);

// The file name without its folder, with `"` and `\` escaped for a quoted header parameter.
std::string AttachmentName(std::string_view path);

// The whole message with CR LF line ends; `date` is the Date header's value. Nothing when no
// boundary could be found.
std::optional<std::string> ComposeMessage(const MessageParts& parts, std::string_view date);

// For DATA: bare CR and bare LF become CR LF, a line starting with "." gets one more, and the
// text ends with the terminator "\r\n.\r\n".
std::string SmtpDataText(std::string_view message);

// For a local mail system: every line end becomes LF.
std::string UnixLineEnds(std::string_view message);

}  // namespace corvina::mail
