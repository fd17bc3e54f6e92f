#include "platform/openssl_library.h"

#include <dlfcn.h>

namespace corvina::platform {
namespace {

template <typename F>
bool Bind(void* handle, const char* name, F& slot) {
  slot = reinterpret_cast<F>(dlsym(handle, name));
  return slot != nullptr;
}

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
  out.ok = Bind(handle, "TLS_client_method", l.TlsClientMethod) && Bind(handle, "SSL_CTX_new", l.CtxNew) &&
           Bind(handle, "SSL_CTX_free", l.CtxFree) && Bind(handle, "SSL_CTX_ctrl", l.CtxCtrl) &&
           Bind(handle, "SSL_CTX_set_verify", l.CtxSetVerify) &&
           Bind(handle, "SSL_CTX_set_default_verify_paths", l.CtxSetDefaultVerifyPaths) &&
           Bind(handle, "SSL_new", l.New) && Bind(handle, "SSL_free", l.Free) && Bind(handle, "SSL_set_fd", l.SetFd) &&
           Bind(handle, "SSL_ctrl", l.Ctrl) && Bind(handle, "SSL_get0_param", l.Get0Param) &&
           Bind(handle, "X509_VERIFY_PARAM_set_hostflags", l.ParamSetHostFlags) &&
           Bind(handle, "X509_VERIFY_PARAM_set1_ip_asc", l.ParamSet1IpAsc) &&
           Bind(handle, "X509_VERIFY_PARAM_set1_host", l.ParamSet1Host) &&
           Bind(handle, "ERR_clear_error", l.ClearError) && Bind(handle, "SSL_connect", l.Connect) &&
           Bind(handle, "SSL_get_error", l.GetError) && Bind(handle, "SSL_get_verify_result", l.GetVerifyResult) &&
           Bind(handle, "SSL_get0_peer_certificate", l.Get0PeerCertificate) &&
           Bind(handle, "SSL_write_ex", l.WriteEx) && Bind(handle, "SSL_read_ex", l.ReadEx) &&
           Bind(handle, "SSL_shutdown", l.Shutdown);
  return out;
}

}  // namespace

const OpenSslLibrary* OpenSslLibrary::Get() {
  static const Loaded loaded = Load();
  return loaded.ok ? &loaded.library : nullptr;
}

}  // namespace corvina::platform
