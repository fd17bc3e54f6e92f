// The in-dialog request runner on the fake clock with a scripted inbox: resends until a
// provisional, the limits without and with one, challenges answered up to their bound, the 491
// back-off window and bound, the ACK of an INVITE's final responses, requests that arrive
// meanwhile, a stop and an unsent request. Each case is read back from what went on the wire:
// "INVITE2*@206" is the second request sent (new CSeq) with credentials 206 ms after the start,
// "ACK1=" an ACK with its INVITE's branch, "ACK1+" one with a new branch, "200@400" an answer.
#include <map>

#include <gtest/gtest.h>

#include "dialog_fakes.h"
#include "sip/dialog_request_runner.h"
#include "sip/dialog_requests.h"

namespace corvina::sip {
namespace {

using testing::DialogBench;
using testing::FarRequest;
using testing::FarResponse;
using testing::ParseOwned;

class ScriptedHost final : public RequestHost {
 public:
  ScriptedHost(SharedDialog& dialog, std::uint32_t stopAt) : dialog_(dialog), stopAt_(stopAt) {}
  int others = 0;
  std::unique_ptr<SipMessage> NextMessage(int timeoutMs) override { return dialog_.WaitNext(timeoutMs); }
  bool StopRequested() override { return stopAt_ != 0 && dialog_.Services().endpoint.NowMs() >= stopAt_; }
  bool OnRequest(std::unique_ptr<SipMessage> request) override { return AnswerInDialogRequest(dialog_, *request); }
  void OnOtherResponse(const SipMessage& /*response*/) override { ++others; }

 private:
  SharedDialog& dialog_;
  std::uint32_t stopAt_;
};

std::string Describe(const testing::FakeEndpoint& ep, std::uint32_t start, std::uint32_t firstCSeq) {
  std::string out;
  std::map<std::uint32_t, std::string> requestBranch;
  for (const auto& sent : ep.sent) {
    auto m = ParseOwned(sent.text);
    out += out.empty() ? "" : " ";
    if (m->IsResponse()) {
      out += std::to_string(m->statusCode);
    } else {
      const std::uint32_t cseq = std::stoul(std::string(m->FindHeader(kCSeq)));
      const std::string_view via = m->FindHeader(kVia);
      const std::string branch(via.substr(via.find("branch=")));
      out += m->method + std::to_string(cseq - firstCSeq + 1);
      if (m->method == "ACK") {
        out += requestBranch[cseq] == branch ? "=" : "+";
      } else {
        requestBranch[cseq] = branch;
        if (sent.text.find("Authorization: Digest") != std::string::npos) out += "*";
      }
    }
    out += "@" + std::to_string(sent.at - start);
  }
  return out;
}

TEST(DialogRequestRunner, DrivesARequestToItsOutcome) {
  constexpr RequestLimits kCameIn{.withoutProvisionalMs = 5000, .withProvisionalMs = 25000, .backOffs = 5,
                                  .cameIn = true};
  struct Case {
    const char* name;
    bool invite = true;
    RequestLimits limits = kReInviteLimits;
    // offset: "n:status" a response to the n-th request sent (0: an earlier one), else a far request.
    std::vector<std::pair<std::uint32_t, std::string>> script = {};
    RequestOutcome outcome = RequestOutcome::kFinal;
    int status = 200;
    std::string wire = {};
    std::uint32_t endAt = 0;
    std::uint32_t stopAt = 0;
    int others = 0;
    bool unsent = false;
  };
  const Case cases[] = {
      {.name = "silent: resent every 500 ms, 408 at 3000", .invite = false, .limits = kNonInviteLimits,
       .outcome = RequestOutcome::kTimedOut, .status = 408,
       .wire = "INFO1@0 INFO1@500 INFO1@1000 INFO1@1500 INFO1@2000 INFO1@2500", .endAt = 3000},
      {.name = "re-INVITE silent: 408 at 5000", .outcome = RequestOutcome::kTimedOut, .status = 408,
       .wire = "INVITE1@0 INVITE1@500 INVITE1@1000 INVITE1@1500 INVITE1@2000 INVITE1@2500 INVITE1@3000 "
               "INVITE1@3500 INVITE1@4000 INVITE1@4500",
       .endAt = 5000},
      {.name = "a provisional stops the resending; 408 at 25000", .script = {{700, "1:100"}},
       .outcome = RequestOutcome::kTimedOut, .status = 408, .wire = "INVITE1@0 INVITE1@500", .endAt = 25000},
      {.name = "non-INVITE: no ACK; other responses to the host", .invite = false, .limits = kNonInviteLimits,
       .script = {{300, "0:200"}, {700, "1:100"}, {1800, "1:481"}}, .status = 481, .wire = "INFO1@0 INFO1@500",
       .endAt = 1800, .others = 1},
      {.name = "non-2xx ACKed with the INVITE's branch", .script = {{200, "1:486"}}, .status = 486,
       .wire = "INVITE1@0 ACK1=@200", .endAt = 200},
      {.name = "2xx ACKed as a new transaction", .script = {{300, "1:200"}}, .wire = "INVITE1@0 ACK1+@300",
       .endAt = 300},
      {.name = "2xx left to the caller", .limits = {.ackSuccess = false}, .script = {{300, "1:200"}},
       .wire = "INVITE1@0", .endAt = 300},
      {.name = "challenge answered with a new CSeq", .script = {{100, "1:407"}, {200, "2:200"}},
       .wire = "INVITE1@0 ACK1=@100 INVITE2*@100 ACK2+@200", .endAt = 200},
      {.name = "challenge bound", .limits = {.challenges = 1}, .script = {{100, "1:401"}, {200, "2:401s"}},
       .status = 401, .wire = "INVITE1@0 ACK1=@100 INVITE2*@100 ACK2=@200", .endAt = 200},
      {.name = "491: 50 + tick % 250", .script = {{100, "1:491"}, {300, "2:200"}},
       .wire = "INVITE1@0 ACK1=@100 INVITE2@206 ACK2+@300", .endAt = 300},
      {.name = "491 after a call came in: 550 + tick % 250, requests handled meanwhile", .limits = kCameIn,
       .script = {{100, "1:491"}, {400, "OPTIONS"}, {800, "2:200"}},
       .wire = "INVITE1@0 ACK1=@100 200@400 INVITE2@706 ACK2+@800", .endAt = 800},
      {.name = "491 bound", .limits = {.backOffs = 1}, .script = {{100, "1:491"}, {300, "2:491"}}, .status = 491,
       .wire = "INVITE1@0 ACK1=@100 INVITE2@206 ACK2=@300", .endAt = 300},
      {.name = "a BYE meanwhile ends it", .invite = false, .script = {{1200, "BYE"}},
       .outcome = RequestOutcome::kDialogEnded, .status = 487, .wire = "INFO1@0 INFO1@500 INFO1@1000 200@1200",
       .endAt = 1200},
      {.name = "stop seen within one resend interval", .invite = false, .outcome = RequestOutcome::kStopped,
       .status = 408, .wire = "INFO1@0 INFO1@500 INFO1@1000", .endAt = 1500, .stopAt = 1200},
      {.name = "unsent", .outcome = RequestOutcome::kUnsent, .status = 408, .unsent = true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DialogBench bench;
    DialogRef d = bench.NewDialog();
    const std::uint32_t start = bench.endpoint.now;
    const std::uint32_t first = d->State().localCSeq + 1;
    const char* method = c.invite ? "INVITE" : "INFO";
    for (const auto& [offset, what] : c.script) {
      const auto colon = what.find(':');
      if (colon == std::string::npos) {
        bench.waiter.Script(start + offset, *d, FarRequest(*d, what));
        continue;
      }
      const std::uint32_t cseq = first + std::stoul(what) - 1;
      const int status = std::stoi(what.substr(colon + 1));
      const bool stale = what.back() == 's';
      std::string challenge = status == 401 ? "WWW-Authenticate" : "Proxy-Authenticate";
      challenge += ": Digest realm=\"pbx\", nonce=\"n" + std::to_string(cseq) + "\"" + (stale ? ", stale=true" : "");
      bench.waiter.Script(start + offset, *d,
                          FarResponse(*d, status, cseq, method, status == 401 || status == 407 ? challenge + "\r\n" : ""));
    }
    ScriptedHost host(*d, c.stopAt == 0 ? 0 : start + c.stopAt);
    DialogRequestRunner runner(*d, host);
    RequestResult r = runner.Run(
        [&](SipRequestOut& out) {
          if (c.unsent) return false;
          return c.invite ? SendInvite(bench.endpoint, d->State(), out, {}) : SendInfo(bench.endpoint, d->State(), out);
        },
        c.limits);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.response != nullptr, c.outcome == RequestOutcome::kFinal);
    EXPECT_EQ(Describe(bench.endpoint, start, first), c.wire);
    EXPECT_EQ(bench.endpoint.now - start, c.endAt);
    EXPECT_EQ(host.others, c.others);
  }
}

}  // namespace
}  // namespace corvina::sip
