// A call through Kamailio on loopback: the phone registers with digest (qop), dials a number
// of its proxy, the INVITE is challenged (407) and relayed once it carries the credentials to a
// SIPp UAS, which answers; the phone's hang-up ends the call.
#include <gtest/gtest.h>

#include "tests/interop/call_interop_fixture.h"
#include "tests/interop/kamailio_registrar.h"

namespace corvina::interop {
namespace {

TEST(CallProxyInterop, InviteIsChallengedAndRelayedWithCredentials) {
  TempFolder folder{"kam"};
  const std::uint16_t proxyPort = FreeUdpPort();
  const std::uint16_t calleePort = FreeUdpPort();
  KamailioRegistrar kamailio(folder.Sub("kamailio"), proxyPort, "100", "Secret-Pass", "proxy.cfg",
                             "127.0.0.1:" + std::to_string(calleePort));
  ASSERT_TRUE(kamailio.Start()) << kamailio.Log();
  auto sipp = StartSippPeer(folder.Sub("sipp"), std::string(kHead) + AnsweringUas(true), calleePort, 0);
  PhoneUnderTest phone(folder.Sub("phone"), {{"SIP", "Port", std::to_string(FreeUdpPort())},
                                             {"SIP", "UPNP", "0"},
                                             {"DefaultLine", "UserName", "100"},
                                             {"DefaultLine", "Proxy", "127.0.0.1:" + std::to_string(proxyPort)},
                                             {"DefaultLine", "ProxyPassword", "Secret-Pass"}});
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"registration\"", "\"line\":1", "\"registered\":true"}, 10000))
      << kamailio.Log();

  ASSERT_EQ(phone.Ask("dial 200"), "ok {\"line\":1}");
  EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Connected\""}, 10000)) << kamailio.Log();
  EXPECT_EQ(phone.Ask("hangup"), "ok {\"line\":1}");
  EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"line\"", "\"state\":\"Idle\""}, 5000));
  EXPECT_EQ(ExitOf(*sipp, 15000), 0) << ReadFile(folder.Sub("sipp") + "/msg.txt");
  const std::string log = kamailio.Log();
  EXPECT_EQ(CountOf(log, "CHALLENGE method=INVITE"), 1) << log;
  EXPECT_NE(log.find("RELAYED method=INVITE cseq="), std::string::npos) << log;
  EXPECT_NE(log.find("auth=Digest username=\"100\""), std::string::npos) << log;
  EXPECT_NE(log.find(",qop=auth,nc=00000001,cnonce=\""), std::string::npos) << log;
  EXPECT_EQ(phone.Quit(), 0);
}

}  // namespace
}  // namespace corvina::interop
