// Sending one e-mail through the program's own SMTP client: the request is checked and its
// attachments read before any connection, then the message goes to the configured mail host or,
// failing that (or without one), directly to each recipient's domain, one connection each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mail/mime_message.h"
#include "mail/smtp_exchange.h"

namespace corvina::platform {
class Event;
class NameResolver;
class Settings;
class TickClock;
class WallClock;
}  // namespace corvina::platform

namespace corvina::mail {

// The settings section `Email`.
struct MailSettings {
  bool useStore = true;   // hand the message to the local mail system instead of SMTP
  bool useHost = true;
  std::string mailHost;   // "host" or "host:port"
  bool authenticate = false;
  std::string user;
  std::string password;
  bool sendDirect = true;
  std::string replyTo;
};

MailSettings ReadMailSettings(const platform::Settings& settings);

struct MailRequest {
  std::string recipients;  // comma-separated
  std::string subject;
  std::string body;
  std::vector<std::string> attachments;  // file paths
};

// What a send needs from around it; tests shorten the waits and move the direct-delivery port.
struct MailContext {
  platform::NameResolver* resolver = nullptr;
  const platform::TickClock* clock = nullptr;
  const platform::WallClock* wall = nullptr;
  platform::Event* stop = nullptr;  // set = the user cancelled
  std::string heloName;             // this machine's host name
  int connectTimeoutMs = 10000;
  int sendTimeoutMs = 20000;
  int replyTimeoutMs = 300000;
  std::uint16_t directPort = 25;
};

// The recipients split at commas, trimmed, empty pieces skipped.
std::vector<std::string> SplitRecipients(std::string_view list);

// The checked recipients as the To header lists them.
std::string JoinRecipients(const std::vector<std::string>& recipients);

// An address that can go into an envelope or header as it is: at most 259 characters, holding
// an "@" and no control character, space, "<" or ">".
bool UsableAddress(std::string_view address);

// A prepared message: the checked recipients and the attachments already read. Empty `error`
// when it can be sent.
struct PreparedMail {
  std::vector<std::string> recipients;
  std::vector<Attachment> attachments;
  std::string error;
};
PreparedMail PrepareMail(const MailRequest& request, const MailSettings& settings);

// The Date header's value for now, from the local time and its offset.
std::string MailDateNow(const platform::WallClock& wall);

// The whole send through SMTP; every failure is reported once through `progress`.
MailResult SendBySmtp(const MailRequest& request, const MailSettings& settings, MailProgress& progress,
                      const MailContext& context);

}  // namespace corvina::mail
