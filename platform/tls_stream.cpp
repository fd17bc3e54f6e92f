#include "platform/tls_stream.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

#include "platform/event.h"
#include "platform/openssl_library.h"

namespace corvina::platform {

struct TlsStream::Session {
  explicit Session(const OpenSslLibrary& l) : library(l) {}
  const OpenSslLibrary& library;  // loaded before any session exists
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  int fd = -1;
  ~Session() {
    if (ssl != nullptr) library.Free(ssl);
    if (context != nullptr) library.CtxFree(context);
  }
};

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Waits for what OpenSSL asked for after `error` (SSL_ERROR_WANT_READ / WRITE); kOk to retry.
NetResult WaitForSsl(int fd, int error, Clock::time_point deadline, Event* stop) {
  if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return NetResult::kFailed;
  return WaitForFd(fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, MsLeft(deadline), stop);
}

}  // namespace

TlsStream::TlsStream(std::unique_ptr<Session> session) : session_(std::move(session)) {}

TlsStream::~TlsStream() {
  if (session_ && session_->ssl != nullptr) session_->library.Shutdown(session_->ssl);
}

std::unique_ptr<TlsStream> TlsStream::Handshake(int fd, const std::string& host, int timeoutMs, Event* stop,
                                                NetResult* why) {
  *why = NetResult::kFailed;
  const OpenSslLibrary* library = OpenSslLibrary::Get();
  if (library == nullptr) return nullptr;
  const OpenSslLibrary& l = *library;
  auto session = std::make_unique<Session>(l);
  session->fd = fd;
  session->context = l.CtxNew(l.TlsClientMethod());
  if (session->context == nullptr) return nullptr;
  // SSL_CTX_set_min_proto_version and SSL_set_tlsext_host_name are macros over these calls.
  l.CtxCtrl(session->context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  l.CtxSetVerify(session->context, SSL_VERIFY_PEER, nullptr);
  // The system store, or the one SSL_CERT_FILE / SSL_CERT_DIR name.
  if (l.CtxSetDefaultVerifyPaths(session->context) != 1) return nullptr;
  session->ssl = l.New(session->context);
  if (session->ssl == nullptr || l.SetFd(session->ssl, fd) != 1) return nullptr;
  l.Ctrl(session->ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
  // The certificate must name the host we meant to reach (a DNS name, or an IP address).
  X509_VERIFY_PARAM* param = l.Get0Param(session->ssl);
  l.ParamSetHostFlags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  if (l.ParamSet1IpAsc(param, host.c_str()) != 1 && l.ParamSet1Host(param, host.c_str(), host.size()) != 1) {
    return nullptr;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    l.ClearError();
    const int done = l.Connect(session->ssl);
    if (done == 1) break;
    const NetResult waited = WaitForSsl(fd, l.GetError(session->ssl, done), deadline, stop);
    if (waited != NetResult::kOk) {
      *why = waited;
      return nullptr;
    }
  }
  if (l.GetVerifyResult(session->ssl) != X509_V_OK || l.Get0PeerCertificate(session->ssl) == nullptr) {
    return nullptr;
  }
  *why = NetResult::kOk;
  return std::unique_ptr<TlsStream>(new TlsStream(std::move(session)));
}

NetResult TlsStream::SendAll(std::string_view data, int timeoutMs, Event* stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!data.empty()) {
    const OpenSslLibrary& l = session_->library;
    l.ClearError();
    std::size_t written = 0;
    const int ok = l.WriteEx(session_->ssl, data.data(), data.size(), &written);
    if (ok == 1) {
      data.remove_prefix(written);
      continue;
    }
    const NetResult waited = WaitForSsl(session_->fd, l.GetError(session_->ssl, ok), deadline, stop);
    if (waited != NetResult::kOk) return waited;
  }
  return NetResult::kOk;
}

NetResult TlsStream::ReceiveSome(std::string* out, std::size_t maxBytes, int timeoutMs, Event* stop, bool* closed) {
  *closed = false;
  if (out->size() >= maxBytes) return NetResult::kOk;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  const OpenSslLibrary& l = session_->library;
  for (;;) {
    l.ClearError();
    std::size_t got = 0;
    const std::size_t room = std::min(sizeof buffer, maxBytes - out->size());
    const int ok = l.ReadEx(session_->ssl, buffer, room, &got);
    if (ok == 1) {
      out->append(buffer, got);
      return NetResult::kOk;
    }
    const int error = l.GetError(session_->ssl, ok);
    if (error == SSL_ERROR_ZERO_RETURN) {
      *closed = true;
      return NetResult::kOk;
    }
    const NetResult waited = WaitForSsl(session_->fd, error, deadline, stop);
    if (waited != NetResult::kOk) return waited;
  }
}

}  // namespace corvina::platform
