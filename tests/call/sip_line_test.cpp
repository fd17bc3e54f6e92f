// The line's thread shell with real threads: announcements arrive in order with their
// snapshots, the operations refuse what the state does not allow, the Answer-Mode headers set
// the intercom request, a new call's slow preparation leaves the line lock free, and a line shut
// down in any phase stops (how promptly each phase ends is checked on the fake clock in
// call_flow_test.cpp; here the bound only catches a hang).
#include "call/sip_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <atomic>
#include <mutex>
#include <thread>

#include "call_fakes.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/ui_postbox.h"

namespace corvina::call {
namespace {

using testing::IncomingInvite;
using testing::ParseOwned;

// The fake endpoint behind a lock, on the system's tick count, for a call thread and the test.
class LockedEndpoint final : public sip::SipEndpoint, public platform::LogSink {
 public:
  LockedEndpoint() { inner_.resolver.names["pbx.example"] = 0xC6336409; }  // 198.51.100.9
  sip::OwnAddresses Addresses() const override { return inner_.own; }
  sip::IdGenerator& Ids() override { return inner_.ids; }
  platform::NameResolver& Resolver() override { return inner_.resolver; }
  platform::LogSink& Log() override { return *this; }
  std::uint32_t NowMs() const override { return clock_.NowMs(); }
  void Send(const sip::SocketAddress&, std::string_view text) override {
    std::lock_guard<std::mutex> hold(lock_);
    sent_.emplace_back(text);
  }
  void RecordSent(const sip::SipMessage&, const sip::SocketAddress&, std::string_view) override {}
  void Log(std::string_view message, std::uint8_t) override {
    std::lock_guard<std::mutex> hold(lock_);
    log_.emplace_back(message);
  }
  std::size_t Count(std::string_view prefix) {
    std::lock_guard<std::mutex> hold(lock_);
    std::size_t n = 0;
    for (const auto& s : sent_) n += s.rfind(prefix, 0) == 0;
    return n;
  }
  std::vector<std::string> LogLines() {
    std::lock_guard<std::mutex> hold(lock_);
    return log_;
  }

 private:
  sip::testing::FakeEndpoint inner_;
  platform::SystemTickClock clock_;
  std::mutex lock_;
  std::vector<std::string> sent_;
  std::vector<std::string> log_;
};

class NoWakeup final : public platform::UiWakeup {
 public:
  void WakeForTasks() override {}
};

class Recorder final : public LineListener {
 public:
  std::vector<LineSnapshot> seen;
  void OnLineChanged(int, const LineSnapshot& s) override { seen.push_back(s); }
};

// Polls `condition` (running the posted announcements) until it holds or 5 s pass.
template <typename Condition>
bool Eventually(platform::UiPostbox& postbox, Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    postbox.RunBatch();
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

class SipLineTest : public ::testing::Test {
 protected:
  SipLineTest() {
    postbox_.Attach(wakeup_);
    settings_.SetSettingString("Line1", "UserName", "100");
    settings_.SetSettingString("Line1", "Proxy", "pbx.example");
    auto media = std::make_unique<testing::FakeMedia>();
    line_ = std::make_shared<SipLine>(
        1,
        SipLineServices{settings_, services_, dialogs_,
                        [this](sip::DialogRef d, std::optional<sip::PendingInvite>) {
                          std::lock_guard<std::mutex> hold(handedLock_);
                          handed_.push_back(std::move(d));
                        },
                        counter_, postbox_, {}},
        [] { return std::string("Line1"); }, std::move(media));
    line_->SetListener(&recorder_);
  }
  ~SipLineTest() override {
    line_->Shutdown();
    postbox_.Detach(wakeup_);
  }
  bool Offer(const std::string& invite) {
    std::unique_ptr<sip::SipMessage> m = ParseOwned(invite);
    return line_->OfferIncomingCall(m);
  }
  // Shuts the line down on another thread; true when that ended in time.
  bool Stops() {
    auto done = std::async(std::launch::async, [this] { line_->Shutdown(); });
    return done.wait_for(kHangBound) == std::future_status::ready;
  }
  static constexpr auto kHangBound = std::chrono::seconds(5);  // far beyond a slow thread start

  LockedEndpoint endpoint_;
  sip::testing::FakeSentMessages sentMessages_;
  sip::KernelEventWaiter waiter_;
  sip::DialogServices services_{endpoint_, sentMessages_, waiter_};
  // The engine's readiness; the list notes a wait for it on the test's own (the caller's) thread.
  platform::Event engineReady_{platform::Event::Mode::kManualReset, true};
  const std::thread::id testThread_ = std::this_thread::get_id();
  std::atomic<bool> waitedOnCaller_{false};
  std::atomic<int> readyWaits_{0};
  sip::DialogList dialogs_{[this](int ms) {
    ++readyWaits_;
    if (std::this_thread::get_id() == testThread_) waitedOnCaller_ = true;
    return platform::WaitForAny({platform::WaitSource::Of(engineReady_)}, ms) == 0;
  }};
  platform::MemorySettingsStore store_;
  platform::Settings settings_{store_};
  SdpCounter counter_{5};
  NoWakeup wakeup_;
  platform::UiPostbox postbox_;
  Recorder recorder_;
  std::mutex handedLock_;
  std::vector<sip::DialogRef> handed_;
  std::shared_ptr<SipLine> line_;
};

TEST_F(SipLineTest, IncomingCallAnnouncesRingingWithTheCallerAndIntercomRequest) {
  EXPECT_FALSE(line_->Answer());
  EXPECT_TRUE(endpoint_.LogLines().empty());
  ASSERT_TRUE(Offer(IncomingInvite("Priv-Answer-Mode: AUTO\r\n")));
  EXPECT_TRUE(line_->IsBusy());
  EXPECT_FALSE(Offer(IncomingInvite({}, testing::kOfferPcmu, "second-call")));  // busy: refused
  ASSERT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("SIP/2.0 180") >= 1 && recorder_.seen.size() >= 2; }));
  const LineSnapshot& s = recorder_.seen.back();
  EXPECT_EQ(s.state, CallState::kIncomingRinging);
  EXPECT_EQ(s.remoteNumber, "200");
  EXPECT_EQ(s.remoteAddress, "200@198.51.100.9");  // what the intercom allow list matches
  EXPECT_EQ(s.remoteName, "Bob");
  EXPECT_TRUE(s.intercomRequested);
  EXPECT_TRUE(line_->Answer());
  ASSERT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("SIP/2.0 200") >= 1; }));
  line_->Shutdown();
  EXPECT_FALSE(line_->IsBusy());
}

TEST_F(SipLineTest, DialTextIsCheckedAndTheLineStopsWhileDialling) {
  EXPECT_FALSE(line_->MakeCall("<sip:1234@pbx"));
  EXPECT_FALSE(line_->IsBusy());

  // Dialling.
  ASSERT_TRUE(line_->MakeCall("1234"));
  ASSERT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("INVITE sip:1234@pbx.example") >= 1; }));
  EXPECT_TRUE(Stops());
  EXPECT_FALSE(line_->IsBusy());
  EXPECT_FALSE(line_->MakeCall("1234"));  // a shut-down line takes no new call
}

TEST_F(SipLineTest, DialNeverWaitsForTheEngineOnTheCallersThread) {
  engineReady_.Reset();
  ASSERT_TRUE(line_->MakeCall("1234"));
  EXPECT_FALSE(waitedOnCaller_.load());
  EXPECT_EQ(endpoint_.Count("INVITE "), 0u);  // nothing goes out before the engine is ready
  engineReady_.Set();
  EXPECT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("INVITE sip:1234@pbx.example") >= 1; }));
  EXPECT_FALSE(waitedOnCaller_.load());
}

TEST_F(SipLineTest, AnIncomingCallWaitingForTheEngineLeavesTheLineLockFree) {
  engineReady_.Reset();
  auto offered = std::async(std::launch::async, [this] { return Offer(IncomingInvite()); });
  ASSERT_TRUE(Eventually(postbox_, [&] { return readyWaits_.load() > 0; }));
  auto snapshot = std::async(std::launch::async, [this] { return line_->Snapshot(); });
  EXPECT_EQ(snapshot.wait_for(kHangBound), std::future_status::ready);
  EXPECT_TRUE(line_->IsBusy());  // reserved: a second call cannot slip in
  EXPECT_FALSE(line_->MakeCall("1234"));
  engineReady_.Set();
  EXPECT_TRUE(offered.get());
  EXPECT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("SIP/2.0 180") >= 1; }));
}

TEST_F(SipLineTest, HangUpBeforeTheEngineIsReadyEndsTheCallWithoutSending) {
  engineReady_.Reset();
  ASSERT_TRUE(line_->MakeCall("1234"));
  line_->HangUp();
  EXPECT_TRUE(Eventually(postbox_, [&] {
    return !recorder_.seen.empty() && recorder_.seen.back().state == CallState::kIdle && !line_->IsBusy();
  }));
  engineReady_.Set();
  EXPECT_TRUE(line_->MakeCall("1234"));  // the line is free for the next call
  EXPECT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("INVITE sip:1234@pbx.example") == 1; }));
  std::lock_guard<std::mutex> hold(handedLock_);
  EXPECT_TRUE(handed_.empty());  // the abandoned call had no dialog to hand over
}

TEST_F(SipLineTest, StopsWhileRinging) {
  ASSERT_TRUE(Offer(IncomingInvite({}, testing::kOfferPcmu, "ring-1")));
  ASSERT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("SIP/2.0 180") >= 1; }));
  EXPECT_TRUE(Stops());
  EXPECT_EQ(endpoint_.Count("SIP/2.0 480"), 1u);
}

// A request of the caller in the call "talk-1", delivered through the dialog list as the engine does.
bool Deliver(sip::DialogList& dialogs, std::string_view method, int cseq) {
  std::unique_ptr<sip::SipMessage> m = ParseOwned(
      std::string(method) + " sip:100@192.168.1.20:5070 SIP/2.0\r\nVia: SIP/2.0/UDP 198.51.100.9:5062;branch=z9hG4bK" +
      std::to_string(cseq) + "\r\nFrom: \"Bob\" <sip:200@198.51.100.9>;tag=far\r\nTo: <sip:100@pbx.example>\r\n"
      "Call-ID: talk-1\r\nCSeq: " + std::to_string(cseq) + " " + std::string(method) + "\r\nContent-Length: 0\r\n\r\n");
  return dialogs.Deliver(m);
}

TEST_F(SipLineTest, StopsWhileConnected) {
  // Connected: answered and acknowledged.
  ASSERT_TRUE(Offer(IncomingInvite({}, testing::kOfferPcmu, "talk-1")));
  ASSERT_TRUE(Eventually(postbox_, [&] { return line_->Snapshot().state == CallState::kIncomingRinging; }));
  ASSERT_TRUE(line_->Answer());
  ASSERT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("SIP/2.0 200") >= 1; }));
  ASSERT_TRUE(Deliver(dialogs_, "ACK", 1));
  ASSERT_TRUE(Eventually(postbox_, [&] { return line_->Snapshot().state == CallState::kConnected; }));
  // A bad transfer target is not sent: two requests get 200, not the 405 of a REFER under way.
  const std::size_t answers = endpoint_.Count("SIP/2.0 ");
  line_->Transfer("<sip:1234@pbx");
  for (int cseq : {2, 3}) ASSERT_TRUE(Deliver(dialogs_, "OPTIONS", cseq));
  ASSERT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("SIP/2.0 ") >= answers + 2; }));
  EXPECT_EQ(endpoint_.Count("SIP/2.0 405"), 0u);
  EXPECT_EQ(endpoint_.LogLines().at(endpoint_.LogLines().size() - 2), "Transferring sip call to: <sip:1234@pbx");
  line_->Transfer("300");
  EXPECT_TRUE(Eventually(postbox_, [&] { return endpoint_.Count("REFER sip:200@198.51.100.9:5062 ") >= 1; }));
  EXPECT_TRUE(Stops());
  EXPECT_FALSE(line_->IsBusy());
  std::lock_guard<std::mutex> hold(handedLock_);
  ASSERT_EQ(handed_.size(), 1u);
  EXPECT_TRUE(handed_.back()->State().established);  // the terminator owes the BYE
}

}  // namespace
}  // namespace corvina::call
