// What this file proves about a dialog's inbox and its in-dialog transactions:
// - messages come out in order, the message event is set exactly while some are queued;
// - repeats answered by the sent-message cache and repeats of the dialog's own INVITE are
//   skipped, a forked copy (other Via) is answered 482 "Loop Detected";
// - a flood never grows the inbox past its bound and loses repeats before anything else;
// - requests that arrive while the holder waits get the fixed answers;
// - the dialog list routes by Call-ID and tag and waits for the engine before adding.
#include <gtest/gtest.h>

#include "dialog_fakes.h"
#include "sip/dialog_list.h"
#include "sip/dialog_requests.h"

namespace corvina::sip {
namespace {

using testing::DialogBench;
using testing::FarRequest;
using testing::FarResponse;
using testing::ParseOwned;
using testing::StartLine;

TEST(Inbox, KeepsOrderAndSignalsWhileNotEmpty) {
  DialogBench bench;
  DialogRef d = bench.NewDialog();
  EXPECT_FALSE(d->MessageEvent().IsSet());
  d->Put(ParseOwned(FarRequest(*d, "INFO", 1)));
  d->Put(ParseOwned(FarRequest(*d, "NOTIFY", 2)));
  EXPECT_TRUE(d->MessageEvent().IsSet());
  EXPECT_EQ(d->TakeNext()->method, "INFO");
  EXPECT_TRUE(d->MessageEvent().IsSet());
  EXPECT_EQ(d->TakeNext()->method, "NOTIFY");
  EXPECT_FALSE(d->MessageEvent().IsSet());
  EXPECT_EQ(d->TakeNext(), nullptr);
}

TEST(Inbox, SkipsRepeatsAndAnswersAForkedCopyOfTheOwnInvite) {
  DialogBench bench;
  auto incoming = ParseOwned(FarRequest(*bench.NewDialog(), "INVITE", 7));
  Dialog state = NewIncomingDialog(bench.endpoint, *incoming);
  DialogRef d = SharedDialog::Create(bench.services, state);
  const std::string ownVia = "SIP/2.0/UDP 198.51.100.9:5062;branch=z9hG4bKfar1";
  bench.sentMessages.isRepeat = [](const SipMessage& m) { return m.method == "INFO"; };

  d->Put(ParseOwned(FarRequest(*d, "INFO", 8)));                                 // answered by the cache
  d->Put(ParseOwned(FarRequest(*d, "INVITE", 7, ownVia)));                        // plain repeat: dropped
  d->Put(ParseOwned(FarRequest(*d, "INVITE", 7, "SIP/2.0/UDP 10.0.0.1;branch=z9hG4bKother")));  // forked
  d->Put(ParseOwned(FarRequest(*d, "INVITE", 8)));                                // a re-INVITE: kept
  auto next = d->TakeNext();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->FindHeader(kCSeq), "8 INVITE");
  ASSERT_EQ(bench.endpoint.sent.size(), 1u);
  const std::string& answer = bench.endpoint.sent[0].text;
  EXPECT_EQ(StartLine(answer), "SIP/2.0 482 Loop Detected");
  EXPECT_NE(answer.find("Via: SIP/2.0/UDP 10.0.0.1;branch=z9hG4bKother\r\n"), std::string::npos);
  EXPECT_EQ(bench.endpoint.cached.size(), 1u);
  EXPECT_EQ(bench.sentMessages.asked, 4);
}

TEST(Inbox, AFloodStaysBoundedAndLosesRepeatsFirst) {
  DialogBench bench;
  DialogRef d = bench.NewDialog();
  // Distinct requests fill the inbox, with one repeated INFO early on.
  d->Put(ParseOwned(FarRequest(*d, "INFO", 1)));
  d->Put(ParseOwned(FarRequest(*d, "NOTIFY", 2)));
  d->Put(ParseOwned(FarRequest(*d, "INFO", 1)));
  for (int i = 3; d->Queued() < kInboxCapacity; ++i) d->Put(ParseOwned(FarRequest(*d, "OPTIONS", i)));
  // The first overflow drops the older copy of the repeated INFO, the next the oldest message.
  d->Put(ParseOwned(FarRequest(*d, "OPTIONS", 1000)));
  d->Put(ParseOwned(FarRequest(*d, "OPTIONS", 1001)));
  EXPECT_EQ(d->Queued(), kInboxCapacity);
  EXPECT_EQ(d->Dropped(), 2u);
  EXPECT_EQ(d->TakeNext()->FindHeader(kCSeq), "1 INFO");  // the later copy of the repeat survived
  EXPECT_EQ(d->TakeNext()->FindHeader(kCSeq), "3 OPTIONS");
  // A long flood of one repeated message keeps the bound too.
  for (int i = 0; i < 1000; ++i) d->Put(ParseOwned(FarRequest(*d, "INFO", 5000)));
  EXPECT_EQ(d->Queued(), kInboxCapacity);
}

TEST(InDialogAnswers, FollowTheTable) {
  struct Case {
    const char* method;
    const char* startLine;  // empty: no answer
    bool stands;
  };
  const Case cases[] = {
      {"BYE", "SIP/2.0 200 OK", false},
      {"OPTIONS", "SIP/2.0 200 OK", true},
      {"ACK", "", true},
      {"NOTIFY", "SIP/2.0 200 OK", true},
      {"CANCEL", "SIP/2.0 200 OK", true},
      {"INFO", "SIP/2.0 200 OK", true},
      {"INVITE", "SIP/2.0 491 Request Pending", true},
      {"REFER", "SIP/2.0 491 Request Pending", true},
      {"PUBLISH", "SIP/2.0 501 Not Implemented", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    DialogBench bench;
    DialogRef d = bench.NewDialog();
    d->State().localUser = "100";
    d->SetOfferSource([] { return std::string("v=0\r\n"); });
    auto request = ParseOwned(FarRequest(*d, c.method));
    EXPECT_EQ(AnswerInDialogRequest(*d, *request), c.stands);
    EXPECT_EQ(d->State().established, c.stands);
    if (*c.startLine == '\0') {
      EXPECT_TRUE(bench.endpoint.sent.empty());
      continue;
    }
    ASSERT_EQ(bench.endpoint.sent.size(), 1u);
    const std::string& text = bench.endpoint.sent[0].text;
    EXPECT_EQ(StartLine(text), c.startLine);
    EXPECT_NE(text.find(";tag=" + d->LocalTag()), std::string::npos);  // the request's To had it already
    bool isOptions = std::string_view(c.method) == "OPTIONS";
    EXPECT_EQ(text.find("Contact: <sip:100@203.0.113.7:5090>\r\n") != std::string::npos, isOptions);
    EXPECT_EQ(text.find("Content-Type: application/sdp\r\nContent-Length: 5\r\n\r\nv=0\r\n") != std::string::npos,
              isOptions);
  }
}

TEST(DialogList, RoutesByCallIdAndTag) {
  DialogBench bench;
  int askedMs = 0;
  DialogList list([&](int ms) {
    askedMs = ms;
    return true;
  });
  DialogRef a = bench.NewDialog();
  DialogRef b = bench.NewDialog();
  EXPECT_TRUE(list.Add(a));
  EXPECT_EQ(askedMs, 10000);
  list.Add(b);

  struct Case {
    const char* name;
    std::string text;
    SharedDialog* taker;
  };
  std::string otherTag = FarRequest(*a, "INFO");
  otherTag.replace(otherTag.find(";tag=" + a->LocalTag()), 5 + a->LocalTag().size(), ";tag=nobody");
  std::string noTag = FarRequest(*b, "INFO");
  noTag.replace(noTag.find(";tag=" + b->LocalTag()), 5 + b->LocalTag().size(), "");
  std::string responseToA = FarResponse(*a, 200, 5, "INFO");
  std::string unknownCall = FarRequest(*a, "INFO");
  unknownCall.replace(unknownCall.find(a->CallId()), a->CallId().size(), "unknown@x");
  const Case cases[] = {
      {"request with the local tag", FarRequest(*a, "INFO"), a.get()},
      {"request with another tag", otherTag, nullptr},
      {"request without a tag", noTag, b.get()},
      {"response by its From tag", responseToA, a.get()},
      {"unknown Call-ID", unknownCall, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto message = ParseOwned(c.text);
    std::size_t before = c.taker ? c.taker->Queued() : 0;
    EXPECT_EQ(list.Deliver(message), c.taker != nullptr);
    EXPECT_EQ(message == nullptr, c.taker != nullptr);
    if (c.taker) {
      EXPECT_EQ(c.taker->Queued(), before + 1);
    }
  }

  auto replacing = ParseOwned(noTag);
  EXPECT_TRUE(list.DeliverReplacing(a->CallId(), replacing));
  list.Remove(a.get());
  EXPECT_EQ(list.Count(), 1u);
  auto late = ParseOwned(FarRequest(*a, "INFO"));
  EXPECT_FALSE(list.Deliver(late));
}

}  // namespace
}  // namespace corvina::sip
