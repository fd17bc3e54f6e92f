// What this file proves with real threads (run it under ASan and TSan):
// - the terminator's thread takes a handed-over dialog, goes idle once its BYE is answered, and
//   stops on request;
// - many dialogs created, delivered to, dropped by their holders or handed to the terminator
//   while other threads keep delivering to them, and a terminator stopped with records still
//   pending, leave no dangling dialog and no race.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "fake_endpoint.h"
#include "sip/call_terminator.h"
#include "sip/dialog_list.h"
#include "sip/sip_parser.h"
#include "tests/support/poll_until.h"

namespace corvina::sip {
namespace {

// An endpoint that any thread may use: sends are counted under a lock, time is the system's.
class SharedEndpoint final : public SipEndpoint {
 public:
  OwnAddresses Addresses() const override { return {"203.0.113.7", 5090, "192.168.1.20", 5070}; }
  IdGenerator& Ids() override { return ids_; }
  platform::NameResolver& Resolver() override { return resolver_; }
  platform::LogSink& Log() override { return log_; }
  std::uint32_t NowMs() const override { return clock.NowMs(); }
  void Send(const SocketAddress&, std::string_view text) override {
    std::lock_guard lock(lock_);
    ++sends_;
    if (text.rfind("BYE ", 0) == 0) ++byes_;
  }
  void RecordSent(const SipMessage&, const SocketAddress&, std::string_view) override {}
  int Byes() {
    std::lock_guard lock(lock_);
    return byes_;
  }

  platform::SystemTickClock clock;

 private:
  class NullLog final : public platform::LogSink {
    void Log(std::string_view, std::uint8_t) override {}
  };
  IdGenerator ids_{77, 1000, 1};
  testing::TableResolver resolver_;
  NullLog log_;
  std::mutex lock_;
  int sends_ = 0;
  int byes_ = 0;
};

class NoRepeats final : public RetransmissionAnswerer {
  bool AnswerIfRetransmission(const SipMessage&) override { return false; }
};

struct ThreadBench {
  SharedEndpoint endpoint;
  NoRepeats sentMessages;
  KernelEventWaiter waiter;
  DialogServices services{endpoint, sentMessages, waiter};
  DialogList list{[](int) { return true; }};
  CallTerminator terminator{list, endpoint.clock};

  DialogRef NewDialog() {
    Dialog d = NewOutgoingDialog(endpoint, {.from = "<sip:100@pbx.example>", .to = "<sip:200@127.0.0.1:5062>;tag=far"});
    d.established = true;
    return SharedDialog::Create(services, std::move(d));
  }
};

std::unique_ptr<SipMessage> MessageFor(std::string_view callId, std::string_view tag, std::string_view firstLine,
                                       std::string_view cseq) {
  std::string text = std::string(firstLine) +
                     "\r\nVia: SIP/2.0/UDP 127.0.0.1:5062;branch=z9hG4bKx\r\nFrom: <sip:100@pbx.example>;tag=" +
                     std::string(tag) + "\r\nTo: <sip:200@127.0.0.1>;tag=" + std::string(tag) +
                     "\r\nCall-ID: " + std::string(callId) + "\r\nCSeq: " + std::string(cseq) +
                     "\r\nContent-Length: 0\r\n\r\n";
  auto m = std::make_unique<SipMessage>();
  EXPECT_TRUE(ParseMessage(text, *m));
  return m;
}

TEST(TerminatorThread, GoesIdleWhenTheByeIsAnsweredAndStops) {
  ThreadBench b;
  b.terminator.StartIfStopped();
  EXPECT_TRUE(b.terminator.RaiseAndWaitIdle(0));  // nothing handed over yet
  DialogRef d = b.NewDialog();
  b.list.Add(d);
  std::string callId = d->CallId();
  std::string tag = d->LocalTag();
  std::uint32_t byeCSeq = d->State().localCSeq + 1;
  b.terminator.HandOver(std::move(d));
  EXPECT_FALSE(b.terminator.IdleEvent().IsSet());
  EXPECT_EQ(b.endpoint.Byes(), 1);  // sent at once by the handing thread
  EXPECT_FALSE(b.terminator.RaiseAndWaitIdle(0));
  auto ok = MessageFor(callId, tag, "SIP/2.0 200 OK", std::to_string(byeCSeq) + " BYE");
  ASSERT_TRUE(b.list.Deliver(ok));
  EXPECT_TRUE(b.terminator.RaiseAndWaitIdle(10000));
  b.terminator.Stop();
  EXPECT_FALSE(b.terminator.IsRunning());
}

TEST(DialogStress, DropsAndHandOversRaceWithDeliveries) {
  ThreadBench b;
  b.terminator.StartIfStopped();
  constexpr int kHolders = 6;
  constexpr int kDialogsEach = 40;
  std::mutex idsLock;
  std::vector<std::pair<std::string, std::string>> ids;  // Call-ID and tag of every dialog made; guarded by idsLock
  std::atomic<bool> stop{false};
  std::atomic<int> delivered{0};

  std::vector<std::thread> deliverers;
  for (int t = 0; t < 2; ++t) {
    deliverers.emplace_back([&, t] {
      std::mt19937 random(t);
      while (!stop.load()) {
        std::pair<std::string, std::string> target;
        {
          std::lock_guard lock(idsLock);
          if (ids.empty()) continue;
          target = ids[random() % ids.size()];
        }
        auto m = random() % 2 ? MessageFor(target.first, target.second, "INFO sip:x@127.0.0.1 SIP/2.0", "5 INFO")
                              : MessageFor(target.first, target.second, "SIP/2.0 180 Ringing", "5 INVITE");
        if (b.list.Deliver(m)) delivered.fetch_add(1);
      }
    });
  }
  std::atomic<int> handedOver{0};
  std::vector<std::thread> holders;
  for (int h = 0; h < kHolders; ++h) {
    holders.emplace_back([&, h] {
      for (int i = 0; i < kDialogsEach; ++i) {
        DialogRef d = b.NewDialog();
        b.list.Add(d);
        {
          std::lock_guard lock(idsLock);
          ids.emplace_back(d->CallId(), d->LocalTag());
        }
        while (d->TakeNext()) {
        }
        if ((h + i) % 2) {
          b.list.Remove(d.get());  // dropped by its holder while deliveries go on
        } else {
          b.terminator.HandOver(std::move(d));
          handedOver.fetch_add(1);
        }
      }
    });
  }
  for (auto& t : holders) t.join();
  ASSERT_TRUE(corvina::testing::PollUntil([&] { return delivered.load() > 200; }, 20000));
  b.terminator.Stop();  // records still pending: every BYE is still being retransmitted
  EXPECT_FALSE(b.terminator.IdleEvent().IsSet());
  stop.store(true);
  for (auto& t : deliverers) t.join();
  EXPECT_EQ(b.list.Count(), static_cast<std::size_t>(handedOver.load()));
  EXPECT_GE(b.endpoint.Byes(), handedOver.load());
}

}  // namespace
}  // namespace corvina::sip
