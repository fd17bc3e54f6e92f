// The message text: Date, subject encoding, boundary, attachment types and names, the DATA form,
// and the checks made before any connection.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "mail/mime_message.h"
#include "mail/smtp_client.h"

namespace corvina::mail {
namespace {

TEST(MailDate, EnglishNamesAndSignedOffsets) {
  std::tm t{};
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 8, t.tm_wday = 2, t.tm_hour = 5, t.tm_min = 7, t.tm_sec = 9;
  EXPECT_EQ(FormatMailDate(t, 0), "Tue, 08 Dec 2026 05:07:09 +0000");
  EXPECT_EQ(FormatMailDate(t, -(3 * 3600 + 30 * 60)), "Tue, 08 Dec 2026 05:07:09 -0330");
  EXPECT_EQ(FormatMailDate(t, 5 * 3600 + 45 * 60), "Tue, 08 Dec 2026 05:07:09 +0545");
}

// Decodes "=?utf-8?q?...?=" words separated by folding, so the test can compare with the input.
std::string DecodeWords(const std::string& header) {
  std::string out;
  for (std::size_t at = 0; (at = header.find("=?utf-8?q?", at)) != std::string::npos;) {
    const std::size_t end = header.find("?=", at + 10);
    EXPECT_LE(end + 2 - at, 75u);
    std::string word;
    for (std::size_t i = at + 10; i < end; ++i) {
      EXPECT_EQ(std::string(" ?_").find(header[i]), std::string::npos);
      if (header[i] != '=') word += header[i];
      else word += static_cast<char>(std::stoi(header.substr(i + 1, 2), nullptr, 16)), i += 2;
    }
    // No character is cut between words: none starts with a continuation byte.
    EXPECT_NE(static_cast<unsigned char>(word.at(0)) & 0xc0, 0x80);
    out += word;
    at = end + 2;
  }
  return out;
}

TEST(MailSubject, AsciiKeptOthersEncodedInShortWords) {
  EXPECT_EQ(EncodeSubject("Hi=you? a_b"), "Hi=you? a_b");
  EXPECT_EQ(EncodeSubject("a\r\nBcc: x\tz"), "a  Bcc: x z");
  const std::string utf8 = "Grüße = ? _ " + std::string(40, 'x') + "ääääääääääääääääääääääää€€€€€";
  const std::string header = EncodeSubject(utf8);
  EXPECT_EQ(DecodeWords(header), utf8);
  EXPECT_NE(header.find("?=\r\n =?utf-8?q?"), std::string::npos);
}

TEST(MailMessage, BoundaryTypesNamesAndWholeText) {
  EXPECT_EQ(FindBoundary("text"), "gc0p4Jq0M2Yt08jU534c0");
  EXPECT_EQ(FindBoundary("a gc0p4Jq0M2Yt08jU534c0 b"), "gc0p4Jq0M2Yt08jU534c1");
  for (auto [path, type] : {std::pair{"/r/a.WAV", "audio/wav"}, {"b.mp3", "audio/mpeg"}, {"c.wav.txt",
                            "application/octet-stream"}, {"wav", "application/octet-stream"}}) {
    EXPECT_EQ(AttachmentType(path), type) << path;
  }
  EXPECT_EQ(AttachmentName("/d/a\"b\\c.wav"), "a\\\"b\\\\c.wav");
  std::string quads;  // the base64 of the 60 bytes
  for (int i = 0; i < 20; ++i) quads += "QUFB";
  const std::optional<std::string> text =
      ComposeMessage({"me@x", "you@y", "S", "one\ntwo", {{"/tmp/q.wav", std::string(60, 'A')}}}, "DATE");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text,
            "MIME-Version: 1.0\r\nFrom: me@x\r\nTo: you@y\r\nSubject: S\r\nDate: DATE\r\nX-Mailer: Tessaly Corvina "
            "4.01\r\nContent-Type: multipart/mixed; boundary=gc0p4Jq0M2Yt08jU534c0\r\n\r\n--gc0p4Jq0M2Yt08jU534c0\r\n"
            "Content-Type: text/plain; charset=\"utf-8\"\r\n\r\none\r\ntwo\r\n--gc0p4Jq0M2Yt08jU534c0\r\n"
            "Content-Type: audio/wav; name=\"q.wav\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"q.wav\"\r\n\r\n" +
                quads.substr(0, 76) + "\r\n" + quads.substr(76) + "\r\n"
                "\r\n--gc0p4Jq0M2Yt08jU534c0--\r\n");
}

TEST(MailMessage, DataFormStuffsDotsAndMendsLineEnds) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\r\n.\r\nb", "a\r\n..\r\nb\r\n.\r\n"},
      {".x\nbare lf\rbare cr\r\n", "..x\r\nbare lf\r\nbare cr\r\n.\r\n"},
      {"", ".\r\n"},
  };
  for (auto [in, out] : cases) EXPECT_EQ(SmtpDataText(in), out) << in;
}

TEST(MailPrepare, RefusedBeforeConnecting) {
  const std::string missing = testing::TempDir() + "/no-such-attachment.wav";
  struct Case {
    const char* to;
    const char* replyTo;
    std::vector<std::string> files;
    std::string error;
  };
  const Case cases[] = {
      {" , ", "", {}, "No recipients listed to receive email."},
      {"a@b, c@d\r\nBcc: e@f", "", {}, "Invalid email address to send to"},
      {"a@b,<c@d>", "", {}, "Invalid email address to send to"},
      {"a@b, cd", "", {}, "Invalid email address to send to"},
      {"a@b", "me@x\nBcc: y@z", {}, "The reply-to address in Email Settings is not a valid email address"},
      {"a@b", "", {missing}, "Unable to read the attachment \"" + missing + "\""},
      {" a@b ,, c@d ", "me@x", {}, ""},
  };
  for (const Case& c : cases) {
    MailSettings settings;
    settings.replyTo = c.replyTo;
    const PreparedMail mail = PrepareMail({c.to, "s", "b", c.files}, settings);
    EXPECT_EQ(mail.error, c.error) << c.to;
    if (c.error.empty()) {
      EXPECT_EQ(mail.recipients, (std::vector<std::string>{"a@b", "c@d"}));
    }
  }
}

}  // namespace
}  // namespace corvina::mail
