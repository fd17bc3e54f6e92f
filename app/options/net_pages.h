// The network pages: Net 1 (local ports and trace logs) and Net 2 (public address: UPnP, STUN
// or a static address with mapped ports). All values live in section "SIP" but the trace
// switches, which live in "Settings".
#pragma once

#include "app/options/options_page.h"

namespace corvina::app {

// Fields: Port, RTPPortBase, SipTraceOn, SipTraceAudioOn.
class Net1Page final : public OptionsPage {
 public:
  Net1Page(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "net1"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

// Fields: UPNP, STUN, STUNServer1, STUNServer2, STATIC, STATICPublicIP, STATICSIPPort,
// STATICRTPPortBase.
class Net2Page final : public OptionsPage {
 public:
  Net2Page(platform::Settings& settings, OptionsEnvironment& env);
  std::string_view Name() const override { return "net2"; }
  void Load() override;
  std::optional<OptionsMessage> Confirm() override;
};

}  // namespace corvina::app
