// The SIP accounts of the phone's two lines as their settings give them: the line's own
// section "Line%d", or the section "DefaultLine" while the line's UseDefault holds.
#pragma once

#include <string>

#include "platform/settings.h"
#include "sip/registration.h"

namespace corvina::app {

inline constexpr int kLineCount = 2;
// The q value every line registers with (written as q=0.90).
inline constexpr int kLineQ = 90;

// The section that holds line `line`'s account (1-based).
std::string LineAccountSection(const platform::Settings& settings, int line);

// The registration of line `line`: domain = Proxy, the outbound server when UseOutboundServer
// is 1, user UserName, authorization user AuthID when UseAuthentication holds, password
// ProxyPassword.
sip::RegistrationKey LineRegistration(const platform::Settings& settings, int line);

}  // namespace corvina::app
