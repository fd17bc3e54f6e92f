// The phone against Kamailio as registrar with digest authentication (qop=auth), on loopback:
// - it registers from the address the registrar sees (127.0.0.1, not the default route's) in
//   Via and Contact, logs "Registered as: %s", Kamailio lists our contact with q=0.90, the
//   registration is refreshed before the granted 30 s run out, and quitting unregisters;
// - the SIP trace holds the digest exchange but never the password;
// - a wrong password gives the refusal lines and a ten-minute back-off;
// - a registrar that comes up only after the phone's first REGISTER went unanswered is registered
//   with on the 7 s retry.
#include <gtest/gtest.h>

#include "kamailio_registrar.h"
#include "platform/udp_socket.h"
#include "tests/support/phone_under_test.h"
#include "tests/support/temp_folder.h"

namespace corvina::interop {
namespace {

using namespace corvina::testing;

struct RegistrarSetup {
  corvina::testing::TempFolder folder{"kam"};
  std::uint16_t registrarPort = FreeUdpPort();
  std::string domain = "127.0.0.1:" + std::to_string(registrarPort);
  std::string aor = "sip:100@" + domain;

  std::vector<std::vector<std::string>> PhoneSettings(const std::string& password) const {
    return {{"SIP", "Port", std::to_string(FreeUdpPort())},
            {"DefaultLine", "UserName", "100"},
            {"DefaultLine", "Proxy", domain},
            {"DefaultLine", "ProxyPassword", password}};
  }
};

TEST(RegistrarInterop, RegistersRefreshesAndUnregistersOnQuit) {
  RegistrarSetup s;
  KamailioRegistrar kamailio(s.folder.Sub("kamailio"), s.registrarPort, "100", "Secret-Pass");
  ASSERT_TRUE(kamailio.Start()) << kamailio.Log();
  auto settings = s.PhoneSettings("Secret-Pass");
  settings.push_back({"Settings", "SipTraceOn", "1"});
  PhoneUnderTest phone(s.folder.Sub("phone"), settings);
  phone.Start(true);  // its own address, as the loopback registrar sees it
  const std::uint16_t sipPort = phone.WaitForSipPort(10000);
  ASSERT_NE(sipPort, 0);

  ASSERT_TRUE(phone.WaitForEvent({"\"event\":\"registration\"", "\"line\":1", "\"registered\":true"}, 10000))
      << kamailio.Log();
  EXPECT_NE(phone.ActivityLog().find("Registered as: " + s.aor), std::string::npos);
  std::string dump = kamailio.UlDump();
  EXPECT_NE(dump.find("Address: sip:100@127.0.0.1:" + std::to_string(sipPort)), std::string::npos) << dump;
  EXPECT_NE(dump.find("Q: 0.900000"), std::string::npos) << dump;
  EXPECT_NE(kamailio.Log().find("CHALLENGE cseq=2"), std::string::npos) << "the first REGISTER was challenged";

  // Granted 30 s: the refresh goes out 10 s before they run out.
  EXPECT_TRUE(PollUntil([&] { return CountOf(kamailio.Log(), ";expires=3600;q=0.90") >= 2; }, 30000))
      << kamailio.Log();
  EXPECT_NE(kamailio.UlDump().find("Address: sip:100@"), std::string::npos);

  EXPECT_EQ(phone.Quit(), 0);
  EXPECT_TRUE(PollUntil([&] { return kamailio.UlDump().find("Records: 0") != std::string::npos; }, 3000))
      << kamailio.UlDump();

  const std::string trace = phone.SipTrace();
  EXPECT_NE(trace.find("UDP Packet Sent to 127.0.0.1:" + std::to_string(s.registrarPort)), std::string::npos);
  EXPECT_NE(trace.find("Via: SIP/2.0/UDP 127.0.0.1:" + std::to_string(sipPort)), std::string::npos) << trace;
  EXPECT_NE(trace.find("Authorization: Digest username=\"100\""), std::string::npos);
  EXPECT_NE(trace.find(",qop=auth,nc=00000001,cnonce=\""), std::string::npos);
  EXPECT_EQ(trace.find("Secret-Pass"), std::string::npos) << "the password never reaches the trace";
  EXPECT_EQ(phone.ActivityLog().find("Secret-Pass"), std::string::npos);
}

TEST(RegistrarInterop, WrongPasswordIsRefusedAndBacksOffTenMinutes) {
  RegistrarSetup s;
  KamailioRegistrar kamailio(s.folder.Sub("kamailio"), s.registrarPort, "100", "secret");
  ASSERT_TRUE(kamailio.Start()) << kamailio.Log();
  PhoneUnderTest phone(s.folder.Sub("phone"), s.PhoneSettings("wrong"));
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  ASSERT_TRUE(PollUntil(
      [&] { return phone.ActivityLog().find("Check username or password for the proxy server.") != std::string::npos; },
      10000))
      << phone.ActivityLog();
  const std::string log = phone.ActivityLog();
  EXPECT_NE(log.find("Register authorization failed for " + s.aor), std::string::npos) << log;
  EXPECT_NE(log.find("Error returned : 401 Unauthorized"), std::string::npos) << log;
  const std::string status = phone.Ask("status");
  std::size_t at = status.find("\"nextAttemptSeconds\":");
  ASSERT_NE(at, std::string::npos) << status;
  int seconds = std::stoi(status.substr(at + 21));
  EXPECT_GE(seconds, 590);
  EXPECT_LE(seconds, 600);
  EXPECT_EQ(kamailio.UlDump().find("Address: sip:100@"), std::string::npos);
  EXPECT_EQ(phone.Quit(), 0);
}

TEST(RegistrarInterop, RegistrarStartedLaterIsReachedOnTheRetry) {
  RegistrarSetup s;
  // The registrar's port is silent until the phone's first REGISTER has reached it unanswered.
  auto silent = std::make_unique<platform::UdpSocket>();
  ASSERT_TRUE(silent->Bind({0x7F000001, s.registrarPort}).Ok());
  PhoneUnderTest phone(s.folder.Sub("phone"), s.PhoneSettings("secret"));
  phone.Start();
  ASSERT_NE(phone.WaitForSipPort(10000), 0);
  std::uint8_t datagram[4096];
  ASSERT_TRUE(PollUntil(
      [&] {
        const platform::ReceiveResult r = silent->ReceiveFrom(datagram, 50);
        return r.status == platform::ReceiveStatus::kDatagram &&
               std::string_view(reinterpret_cast<char*>(datagram), r.size).starts_with("REGISTER ");
      },
      10000));
  const auto firstRegister = std::chrono::steady_clock::now();
  silent.reset();
  KamailioRegistrar kamailio(s.folder.Sub("kamailio"), s.registrarPort, "100", "secret");
  ASSERT_TRUE(kamailio.Start()) << kamailio.Log();
  EXPECT_TRUE(phone.WaitForEvent({"\"event\":\"registration\"", "\"registered\":true"}, 12000)) << kamailio.Log();
  EXPECT_GE(std::chrono::steady_clock::now() - firstRegister, std::chrono::milliseconds(6500)) << "on the 7 s retry";
  EXPECT_NE(kamailio.UlDump().find("Address: sip:100@"), std::string::npos);
  EXPECT_EQ(phone.Quit(), 0);
}

}  // namespace
}  // namespace corvina::interop
