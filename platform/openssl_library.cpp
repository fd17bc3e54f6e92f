#include "platform/openssl_library.h"

#include <dlfcn.h>

#include "platform/dynamic_symbol.h"

namespace corvina::platform {
namespace {

struct Loaded {
  OpenSslLibrary library;
  bool ok = false;
};

Loaded Load() {
  Loaded out;
  // libssl brings libcrypto; a handle's lookups also search what it brought.
  void* handle = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return out;
  OpenSslLibrary& l = out.library;
  out.ok = BindSymbol(handle, "TLS_client_method", l.TlsClientMethod) && BindSymbol(handle, "SSL_CTX_new", l.CtxNew) &&
           BindSymbol(handle, "SSL_CTX_free", l.CtxFree) && BindSymbol(handle, "SSL_CTX_ctrl", l.CtxCtrl) &&
           BindSymbol(handle, "SSL_CTX_set_verify", l.CtxSetVerify) &&
           BindSymbol(handle, "SSL_CTX_set_default_verify_paths", l.CtxSetDefaultVerifyPaths) &&
           BindSymbol(handle, "SSL_new", l.New) && BindSymbol(handle, "SSL_free", l.Free) && BindSymbol(handle, "SSL_set_fd", l.SetFd) &&
           BindSymbol(handle, "SSL_ctrl", l.Ctrl) && BindSymbol(handle, "SSL_get0_param", l.Get0Param) &&
           BindSymbol(handle, "X509_VERIFY_PARAM_set_hostflags", l.ParamSetHostFlags) &&
           BindSymbol(handle, "X509_VERIFY_PARAM_set1_ip_asc", l.ParamSet1IpAsc) &&
           BindSymbol(handle, "X509_VERIFY_PARAM_set1_host", l.ParamSet1Host) &&
           BindSymbol(handle, "ERR_clear_error", l.ClearError) && BindSymbol(handle, "SSL_connect", l.Connect) &&
           BindSymbol(handle, "SSL_get_error", l.GetError) && BindSymbol(handle, "SSL_get_verify_result", l.GetVerifyResult) &&
           BindSymbol(handle, "SSL_get0_peer_certificate", l.Get0PeerCertificate) &&
           BindSymbol(handle, "SSL_write_ex", l.WriteEx) && BindSymbol(handle, "SSL_read_ex", l.ReadEx) &&
           BindSymbol(handle, "SSL_shutdown", l.Shutdown);
  return out;
}

}  // namespace

const OpenSslLibrary* OpenSslLibrary::Get() {
  static const Loaded loaded = Load();
  return loaded.ok ? &loaded.library : nullptr;
}

}  // namespace corvina::platform
