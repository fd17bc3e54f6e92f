// The registration each line makes follows its settings section: DefaultLine while UseDefault
// holds, the line's own section otherwise, with the outbound server and the authorization user
// only when their choices say so.
#include <gtest/gtest.h>

#include "app/policy/line_accounts.h"
#include "platform/memory_settings_store.h"

namespace corvina::app {
namespace {

TEST(LineAccounts, RegistrationFollowsTheLineSettings) {
  platform::MemorySettingsStore store;
  platform::Settings s(store);
  s.SetSettingString("DefaultLine", "UserName", "100");
  s.SetSettingString("DefaultLine", "Proxy", "pbx.example");
  s.SetSettingString("DefaultLine", "ProxyPassword", "pw");
  s.SetSettingString("DefaultLine", "OutboundServer", "edge.example");
  s.SetSettingString("DefaultLine", "UseOutboundServer", "2");  // "no outbound server"
  s.SetSettingString("DefaultLine", "AuthID", "ignored");
  s.SetSettingString("Line2", "UseDefault", "0");
  s.SetSettingString("Line2", "UserName", "200");
  s.SetSettingString("Line2", "Proxy", "sip.example");
  s.SetSettingString("Line2", "UseOutboundServer", "1");
  s.SetSettingString("Line2", "OutboundServer", "edge.example:5080");
  s.SetSettingString("Line2", "UseAuthentication", "1");
  s.SetSettingString("Line2", "AuthID", "auth200");

  sip::RegistrationKey one = LineRegistration(s, 1);
  EXPECT_EQ(one, (sip::RegistrationKey{"pbx.example", "pbx.example", "sip:100@pbx.example", "100", "100", "pw"}));
  sip::RegistrationKey two = LineRegistration(s, 2);
  EXPECT_EQ(two, (sip::RegistrationKey{"sip.example", "edge.example:5080", "sip:200@sip.example", "200", "auth200", ""}));

  s.SetSettingString("Line1", "UseDefault", "0");  // an empty own section: never registers
  EXPECT_FALSE(LineRegistration(s, 1).Registers());
}

}  // namespace
}  // namespace corvina::app
