// OpenSSL opened on first use instead of linked: only a mail server that offers STARTTLS needs
// it, and a phone that never sends mail then never maps libssl and libcrypto (about 1.5 MB of
// resident memory, and OpenSSL's start-up allocations). Loaded once for the life of the process
// and never closed.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace corvina::platform {

struct OpenSslLibrary {
  decltype(&::TLS_client_method) TlsClientMethod = nullptr;
  decltype(&::SSL_CTX_new) CtxNew = nullptr;
  decltype(&::SSL_CTX_free) CtxFree = nullptr;
  decltype(&::SSL_CTX_ctrl) CtxCtrl = nullptr;
  decltype(&::SSL_CTX_set_verify) CtxSetVerify = nullptr;
  decltype(&::SSL_CTX_set_default_verify_paths) CtxSetDefaultVerifyPaths = nullptr;
  decltype(&::SSL_new) New = nullptr;
  decltype(&::SSL_free) Free = nullptr;
  decltype(&::SSL_set_fd) SetFd = nullptr;
  decltype(&::SSL_ctrl) Ctrl = nullptr;
  decltype(&::SSL_get0_param) Get0Param = nullptr;
  decltype(&::X509_VERIFY_PARAM_set_hostflags) ParamSetHostFlags = nullptr;
  decltype(&::X509_VERIFY_PARAM_set1_ip_asc) ParamSet1IpAsc = nullptr;
  decltype(&::X509_VERIFY_PARAM_set1_host) ParamSet1Host = nullptr;
  decltype(&::ERR_clear_error) ClearError = nullptr;
  decltype(&::SSL_connect) Connect = nullptr;
  decltype(&::SSL_get_error) GetError = nullptr;
  decltype(&::SSL_get_verify_result) GetVerifyResult = nullptr;
  decltype(&::SSL_get0_peer_certificate) Get0PeerCertificate = nullptr;
  decltype(&::SSL_write_ex) WriteEx = nullptr;
  decltype(&::SSL_read_ex) ReadEx = nullptr;
  decltype(&::SSL_shutdown) Shutdown = nullptr;

  // The library, loaded on the first call (thread-safe); nullptr when it cannot be.
  static const OpenSslLibrary* Get();
};

}  // namespace corvina::platform
