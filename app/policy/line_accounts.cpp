#include "app/policy/line_accounts.h"

namespace corvina::app {

std::string LineAccountSection(const platform::Settings& settings, int line) {
  std::string own = "Line" + std::to_string(line);
  return settings.GetSettingBool(own, "UseDefault", true) ? std::string("DefaultLine") : own;
}

sip::RegistrationKey LineRegistration(const platform::Settings& settings, int line) {
  const std::string section = LineAccountSection(settings, line);
  const std::string user = settings.GetSettingString(section, "UserName", "");
  const std::string domain = settings.GetSettingString(section, "Proxy", "");
  // 0: the line's own server, 1: a different outbound server, 2: none.
  const bool outbound = settings.GetSettingInt(section, "UseOutboundServer", 0) == 1;
  const bool ownAuthId = settings.GetSettingBool(section, "UseAuthentication", false);
  return sip::LineRegistrationKey(user, domain, outbound ? settings.GetSettingString(section, "OutboundServer", "") : "",
                                  ownAuthId ? settings.GetSettingString(section, "AuthID", "") : "",
                                  settings.GetSettingString(section, "ProxyPassword", ""));
}

}  // namespace corvina::app
