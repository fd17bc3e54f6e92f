#include "mail/smtp_client.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/host_port.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"
#include "platform/tcp_connection.h"
#include "platform/tls_stream.h"

namespace corvina::mail {
namespace {

constexpr std::size_t kMaxAddressChars = 259;
constexpr std::size_t kReceiveChunk = 64;
constexpr std::size_t kSendPiece = 16 * 1024;
constexpr std::string_view kSection = "Email";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view DomainOf(std::string_view address) {
  const std::size_t at = address.rfind('@');
  return at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// One connection's exchange: the core fed from the socket (or, after STARTTLS, the TLS stream)
// until it finishes. The socket is closed when this returns, on every path.
MailResult RunExchange(platform::TcpConnection& connection, const std::string& tlsHost, SmtpSessionSettings session,
                       MailProgress& progress, const MailContext& context) {
  session.tlsAvailable = !tlsHost.empty();
  session.replyTimeoutMs = context.replyTimeoutMs;
  SmtpExchange exchange(std::move(session), progress);
  std::unique_ptr<platform::TlsStream> tls;
  exchange.Start(context.clock->NowMs());
  while (!exchange.Finished()) {
    std::string chunk;
    bool closed = false;
    const int wait = platform::TicksUntil(context.clock->NowMs(), exchange.Deadline());
    const platform::NetResult got =
        tls ? tls->ReceiveSome(&chunk, kReceiveChunk, wait, context.stop, &closed)
            : connection.ReceiveSome(&chunk, kReceiveChunk, wait, context.stop, &closed);
    std::string reply;
    if (got == platform::NetResult::kStopped) {
      exchange.Cancel();
    } else if (got == platform::NetResult::kTimedOut) {
      exchange.OnTimeout(context.clock->NowMs());
    } else if (got == platform::NetResult::kFailed || (closed && chunk.empty())) {
      exchange.OnClosed();
    } else {
      reply = exchange.OnBytes(chunk, context.clock->NowMs());
      if (closed && reply.empty()) exchange.OnClosed();
    }
    if (exchange.WantsTls()) {
      platform::NetResult why = platform::NetResult::kFailed;
      tls = platform::TlsStream::Handshake(connection.Fd(), tlsHost, context.replyTimeoutMs, context.stop, &why);
      if (why == platform::NetResult::kStopped) exchange.Cancel();
      reply = exchange.OnTlsStarted(tls != nullptr, context.clock->NowMs());
    }
    if (reply.empty() || exchange.Finished()) continue;
    // Each piece of a long message has its own limit, so a slow link is not cut off.
    platform::NetResult sent = platform::NetResult::kOk;
    for (std::size_t at = 0; at < reply.size() && sent == platform::NetResult::kOk; at += kSendPiece) {
      const std::string_view piece = std::string_view(reply).substr(at, kSendPiece);
      sent = tls ? tls->SendAll(piece, context.sendTimeoutMs, context.stop)
                 : connection.SendAll(piece, context.sendTimeoutMs, context.stop);
    }
    if (sent == platform::NetResult::kStopped) exchange.Cancel();
    else if (sent != platform::NetResult::kOk) exchange.OnSendFailed();
  }
  tls.reset();
  connection.Close();
  return exchange.Result();
}

// Resolves and connects within the limit: kOk, kStopped, or anything else for "unreachable".
platform::NetResult ConnectTo(platform::TcpConnection& connection, std::string_view host, std::uint16_t port,
                              const MailContext& context) {
  const std::optional<std::uint32_t> address = context.resolver->ResolveIpv4(host);
  if (!address) return platform::NetResult::kFailed;
  return connection.Connect({*address, port}, context.connectTimeoutMs, context.stop);
}

}  // namespace

std::string JoinRecipients(const std::vector<std::string>& recipients) {
  std::string out;
  for (const std::string& r : recipients) out += (out.empty() ? "" : ", ") + r;
  return out;
}

MailSettings ReadMailSettings(const platform::Settings& settings) {
  MailSettings out;
  out.useStore = settings.GetSettingString(kSection, "UseMAPI", "") != "0";
  out.useHost = settings.GetSettingBool(kSection, "UseSMTPHost", true);
  out.mailHost = Trim(settings.GetSettingString(kSection, "MailSMTPHost", ""));
  out.authenticate = settings.GetSettingBool(kSection, "SMTPAuthOn", false);
  out.user = settings.GetSettingString(kSection, "SMTPUserName", "");
  out.password = settings.GetSettingString(kSection, "SMTPPassword", "");
  out.sendDirect = settings.GetSettingBool(kSection, "SendDirect", true);
  out.replyTo = Trim(settings.GetSettingString(kSection, "ReplyToEmail", ""));
  return out;
}

std::vector<std::string> SplitRecipients(std::string_view list) {
  std::vector<std::string> out;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string_view piece = Trim(list.substr(0, comma));
    if (!piece.empty()) out.emplace_back(piece);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return out;
}

bool UsableAddress(std::string_view address) {
  if (address.empty() || address.size() > kMaxAddressChars || address.find('@') == std::string_view::npos) {
    return false;
  }
  for (unsigned char c : address) {
    if (c <= 0x20 || c == 0x7f || c == '<' || c == '>') return false;
  }
  return true;
}

PreparedMail PrepareMail(const MailRequest& request, const MailSettings& settings) {
  PreparedMail out;
  out.recipients = SplitRecipients(request.recipients);
  if (out.recipients.empty()) {
    out.error = "No recipients listed to receive email.";
    return out;
  }
  for (const std::string& address : out.recipients) {
    if (!UsableAddress(address)) {
      out.error = "Invalid email address to send to";
      return out;
    }
  }
  if (!settings.replyTo.empty() && !UsableAddress(settings.replyTo)) {
    out.error = "The reply-to address in Email Settings is not a valid email address";
    return out;
  }
  for (const std::string& path : request.attachments) {
    std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) {
      out.error = "Unable to read the attachment \"" + path + "\"";
      return out;
    }
    out.attachments.push_back({path, std::move(*bytes)});
  }
  return out;
}

std::string MailDateNow(const platform::WallClock& wall) {
  const std::time_t now = wall.Now();
  const std::tm local = wall.LocalTime(now);
  return FormatMailDate(local, local.tm_gmtoff);
}

MailResult SendBySmtp(const MailRequest& request, const MailSettings& settings, MailProgress& progress,
                      const MailContext& context) {
  PreparedMail mail = PrepareMail(request, settings);
  if (!mail.error.empty()) {
    progress.ReportError(mail.error);
    return MailResult::kFailed;
  }
  progress.SetText("Sending Email to " + request.recipients, 0);
  progress.SetText("Connecting to server", 1);
  const std::string date = MailDateNow(*context.wall);
  const bool extended = !settings.user.empty();

  // One exchange; `domain` names the sender when there is no reply-to address.
  auto exchange = [&](platform::TcpConnection& connection, const std::string& tlsHost, std::string_view domain,
                      std::vector<std::string> recipients) {
    SmtpSessionSettings session;
    session.heloName = context.heloName;
    session.extended = extended;
    session.authenticate = settings.authenticate;
    session.user = settings.user;
    session.password = settings.password;
    session.sender = settings.replyTo.empty() ? "Corvina@" + std::string(domain) : settings.replyTo;
    session.recipients = std::move(recipients);
    session.hasAttachments = !mail.attachments.empty();
    const std::optional<std::string> text = ComposeMessage(
        {session.sender, JoinRecipients(mail.recipients), request.subject, request.body, mail.attachments}, date);
    if (!text) {
      connection.Close();
      progress.ReportError("Unable to compose the message");
      return MailResult::kFailed;
    }
    session.data = SmtpDataText(*text);
    return RunExchange(connection, tlsHost, std::move(session), progress, context);
  };

  std::string hostName;
  if (settings.useHost && !settings.mailHost.empty()) {
    const platform::HostPort hostPort = platform::SplitHostPort(settings.mailHost, 25);
    hostName = hostPort.host;
    platform::TcpConnection connection;
    const platform::NetResult connected = ConnectTo(connection, hostName, hostPort.port, context);
    if (connected == platform::NetResult::kStopped) return MailResult::kCancelled;
    if (connected == platform::NetResult::kOk) return exchange(connection, hostName, hostName, mail.recipients);
    if (!settings.sendDirect) {
      progress.ReportError("Unable to connect to mail server \"" + hostName + "\".");
      return MailResult::kFailed;
    }
  }
  // Direct delivery: one connection per recipient, the first failure ends.
  for (const std::string& recipient : mail.recipients) {
    const std::string domain(DomainOf(recipient));
    platform::TcpConnection connection;
    const platform::NetResult connected = domain.empty() ? platform::NetResult::kFailed
                                                         : ConnectTo(connection, domain, context.directPort, context);
    if (connected == platform::NetResult::kStopped) return MailResult::kCancelled;
    if (connected != platform::NetResult::kOk) {
      progress.ReportError(hostName.empty() ? "Unable to connect to mail server \"" + domain + "\"."
                                            : "Unable to connect to either mail server \"" + hostName +
                                                  "\" or the mail server at \"" + domain + "\".");
      return MailResult::kFailed;
    }
    const MailResult result = exchange(connection, "", domain, {recipient});
    if (result != MailResult::kDone) return result;
  }
  return MailResult::kDone;
}

}  // namespace corvina::mail
