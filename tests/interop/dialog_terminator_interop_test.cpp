// What this file proves against a real far end (SIPp as a UAS on loopback):
// - an INVITE sent through a dialog over a real UDP socket is answered and acknowledged, and
//   the dialog takes the far end's tag and Contact from the 200;
// - handed to the call terminator, the dialog's BYE reaches the far end's dialog and, never
//   answered, is resent at about 0.5, 1.5, 3.5, 7.5 and 15.5 s and then no more.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/udp_socket.h"
#include "sip/call_terminator.h"
#include "sip/dialog_list.h"
#include "sip/dialog_services.h"
#include "sip/request_composer.h"
#include "sip/shared_dialog.h"
#include "sip/sip_parser.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/interop/sip_test_endpoint.h"

namespace corvina::sip {
namespace {

using interop::FreeLoopbackPort;
using interop::kLoopback;
using interop::NoRepeats;
using interop::SocketEndpoint;

// Milliseconds of the day of every "BYE" that SIPp's message trace shows as received.
std::vector<long> ByeArrivals(const std::string& tracePath) {
  std::ifstream in(tracePath);
  std::vector<long> out;
  std::string line;
  long stamp = -1;
  bool received = false;
  while (std::getline(in, line)) {
    if (line.rfind("-----", 0) == 0) {
      int h = 0, m = 0;
      double s = 0;
      std::size_t at = line.find_last_of(' ');
      if (at != std::string::npos && std::sscanf(line.c_str() + at + 1, "%d:%d:%lf", &h, &m, &s) == 3) {
        stamp = (h * 3600L + m * 60L) * 1000L + static_cast<long>(s * 1000.0);
      }
      received = false;
    } else if (line.find("message received") != std::string::npos) {
      received = true;
    } else if (received && line.rfind("BYE ", 0) == 0) {
      out.push_back(stamp);
    }
  }
  return out;
}

TEST(TerminatorWithSipp, UnansweredByeIsResentOnScheduleAndThenStops) {
  ASSERT_EQ(access("/usr/bin/sipp", X_OK), 0) << "SIPp (package sip-tester) is needed";
  testing::TempFolder folder("sipp");
  const std::string trace = folder.Sub("messages.log");
  const std::uint16_t farPort = FreeLoopbackPort();
  ASSERT_NE(farPort, 0);
  const std::string scenario = std::string(CORVINA_INTEROP_DATA) + "/uas_ignores_bye.xml";
  testing::ChildProcess sipp({"/usr/bin/sipp", "-sf", scenario, "-i", "127.0.0.1", "-p", std::to_string(farPort),
                              "-m", "1", "-nostdin", "-trace_msg", "-message_file", trace, "-timeout", "60s"},
                             {});
  ASSERT_GT(sipp.Pid(), 0);

  platform::UdpSocket socket;
  platform::BindResult bound = socket.Bind({kLoopback, 0});
  ASSERT_TRUE(bound.Ok());
  SocketEndpoint endpoint(socket, bound.local.port);
  NoRepeats sentMessages;
  KernelEventWaiter waiter;
  DialogServices services{endpoint, sentMessages, waiter};
  DialogList list([](int) { return true; });
  CallTerminator terminator(list, endpoint.clock);

  auto reader = std::make_unique<interop::SipSocketReader>(socket, list);

  const std::string far = "<sip:service@127.0.0.1:" + std::to_string(farPort) + ">";
  DialogRef dialog = SharedDialog::Create(
      services, NewOutgoingDialog(endpoint, {.from = "<sip:100@127.0.0.1>", .to = far, .localUser = "100"}));
  list.Add(dialog);
  SipRequestOut invite;
  ASSERT_TRUE(SendInvite(endpoint, dialog->State(), invite, {}));
  std::unique_ptr<SipMessage> ok;
  for (int attempt = 0; attempt < 20 && !ok; ++attempt) {  // SIPp may still be starting
    while (auto m = dialog->WaitNext(500)) {
      if (ResponseMatchesRequest(*m, invite.cseq, "INVITE") && m->statusCode == 200) {
        ok = std::move(m);
        break;
      }
    }
    if (!ok) Resend(endpoint, invite);
  }
  ASSERT_NE(ok, nullptr) << "no 200 from SIPp";
  ApplyInviteSuccess(dialog->State(), *ok);
  SipRequestOut ack;
  ASSERT_TRUE(SendAck(endpoint, dialog->State(), invite, *ok, {}, ack));
  EXPECT_EQ(dialog->State().remoteTarget, "sip:far@127.0.0.1:" + std::to_string(farPort));
  dialog->State().established = true;

  terminator.StartIfStopped();
  terminator.HandOver(std::move(dialog));
  EXPECT_TRUE(terminator.RaiseAndWaitIdle(30000));  // idle once the BYE is given up at 25 s
  EXPECT_NE(sipp.Wait(15000), -1) << "SIPp did not end";
  terminator.Stop();
  reader.reset();

  std::vector<long> byes = ByeArrivals(trace);
  ASSERT_EQ(byes.size(), 6u) << "BYEs seen by the far end";
  std::ostringstream seen;
  for (long b : byes) seen << ' ' << b - byes[0];
  ::testing::Test::RecordProperty("bye_offsets_ms", seen.str());
  const long expected[] = {0, 500, 1500, 3500, 7500, 15500};
  for (std::size_t i = 1; i < byes.size(); ++i) {
    long offset = byes[i] - byes[0];
    EXPECT_GE(offset, expected[i] - 150) << "BYE " << i;
    EXPECT_LE(offset, expected[i] + 400) << "BYE " << i;
  }
}

}  // namespace
}  // namespace corvina::sip
