// The in-dialog request runner on the fake clock with a scripted inbox, read back from the wire:
// "INVITE2*@206" is the second request (new CSeq) sent with credentials 206 ms after the start,
// "ACK1=" an ACK with its INVITE's branch, "ACK1+" one with a new branch, "200@400" an answer;
// "=> final 486 @200" the outcome, its status and when the run ended.
#include <map>

#include <gtest/gtest.h>

#include "dialog_fakes.h"
#include "sip/dialog_request_runner.h"
#include "sip/dialog_requests.h"

namespace corvina::sip {
namespace {

using testing::ParseOwned;

struct ScriptedHost final : RequestHost {
  SharedDialog& dialog;
  std::uint32_t stopAt = 0;  // 0: never
  int others = 0;
  explicit ScriptedHost(SharedDialog& d) : dialog(d) {}
  std::unique_ptr<SipMessage> NextMessage(int timeoutMs) override { return dialog.WaitNext(timeoutMs); }
  bool StopRequested() override { return stopAt != 0 && dialog.Services().endpoint.NowMs() >= stopAt; }
  bool OnRequest(std::unique_ptr<SipMessage> request) override { return AnswerInDialogRequest(dialog, *request); }
  void OnOtherResponse(const SipMessage& /*response*/) override { ++others; }
};

std::string Wire(const testing::FakeEndpoint& ep, std::uint32_t start, std::uint32_t firstCSeq) {
  std::string out;
  std::map<std::uint32_t, std::string> first;  // CSeq -> the request's first text
  for (const auto& sent : ep.sent) {
    auto m = ParseOwned(sent.text);
    const std::uint32_t cseq = m->IsRequest() ? std::stoul(std::string(m->FindHeader(kCSeq))) : 0;
    auto branch = [](std::string_view text) { return text.substr(text.find("branch="), 30); };
    out += m->IsResponse() ? std::to_string(m->statusCode) : m->method + std::to_string(cseq - firstCSeq + 1);
    if (m->method == "ACK") out += branch(first[cseq]) == branch(sent.text) ? "=" : "+";
    if (m->IsRequest() && m->method != "ACK") {
      if (first.emplace(cseq, sent.text).first->second != sent.text) out += "~";  // a resend that changed
      if (sent.text.find("Authorization: Digest") != std::string::npos) out += "*";
    }
    out += "@" + std::to_string(sent.at - start) + " ";
  }
  return out;
}

TEST(DialogRequestRunner, DrivesARequestToItsOutcome) {
  constexpr RequestLimits kCameIn{.withoutProvisionalMs = 5000, .withProvisionalMs = 25000, .backOffs = 5,
                                  .cameIn = true};
  struct Case {
    const char* name;
    bool invite;
    RequestLimits limits;
    // offset: "n:status" a response to the n-th request sent (0: an earlier one), else a far request
    std::vector<std::pair<std::uint32_t, std::string>> script;
    std::string expected;
    std::uint32_t stopAt = 0;
  };
  const Case cases[] = {
      {"silent", false, kNonInviteLimits, {},
       "INFO1@0 INFO1@500 INFO1@1000 INFO1@1500 INFO1@2000 INFO1@2500 => timed out 408 @3000"},
      {"silent re-INVITE", true, kReInviteLimits, {}, "INVITE1@0 INVITE1@500 INVITE1@1000 INVITE1@1500 INVITE1@2000 "
       "INVITE1@2500 INVITE1@3000 INVITE1@3500 INVITE1@4000 INVITE1@4500 => timed out 408 @5000"},
      {"provisional", true, kReInviteLimits, {{700, "1:100"}}, "INVITE1@0 INVITE1@500 => timed out 408 @25000"},
      {"non-INVITE: no ACK, other responses to the host", false, kNonInviteLimits,
       {{300, "0:200"}, {700, "1:100"}, {1800, "1:481"}}, "INFO1@0 INFO1@500 => final 481 @1800 others 1"},
      {"non-2xx", true, kReInviteLimits, {{200, "1:486"}}, "INVITE1@0 ACK1=@200 => final 486 @200"},
      {"2xx", true, kReInviteLimits, {{300, "1:200"}}, "INVITE1@0 ACK1+@300 => final 200 @300"},
      {"2xx left to the caller", true, {.ackSuccess = false}, {{300, "1:200"}}, "INVITE1@0 => final 200 @300"},
      {"challenge", true, kReInviteLimits, {{100, "1:407"}, {200, "2:200"}},
       "INVITE1@0 ACK1=@100 INVITE2*@100 ACK2+@200 => final 200 @200"},
      {"challenge bound", true, {.challenges = 1}, {{100, "1:401"}, {200, "2:401s"}},
       "INVITE1@0 ACK1=@100 INVITE2*@100 ACK2=@200 => final 401 @200"},
      {"491: 50 + tick % 250", true, kReInviteLimits, {{100, "1:491"}, {300, "2:200"}},
       "INVITE1@0 ACK1=@100 INVITE2@206 ACK2+@300 => final 200 @300"},
      {"491 when the call came in: 550 + tick % 250", true, kCameIn, {{100, "1:491"}, {400, "OPTIONS"}, {800, "2:200"}},
       "INVITE1@0 ACK1=@100 200@400 INVITE2@706 ACK2+@800 => final 200 @800"},
      {"491 bound", true, {.backOffs = 1}, {{100, "1:491"}, {300, "2:491"}},
       "INVITE1@0 ACK1=@100 INVITE2@206 ACK2=@300 => final 491 @300"},
      {"BYE meanwhile", false, kNonInviteLimits, {{1200, "BYE"}},
       "INFO1@0 INFO1@500 INFO1@1000 200@1200 => dialog ended 487 @1200"},
      {"stop", false, kNonInviteLimits, {}, "INFO1@0 INFO1@500 INFO1@1000 => stopped 408 @1500", 1200},
      {"unsent", true, kReInviteLimits, {}, "=> unsent 408 @0"},
  };
  const char* outcomes[] = {"final", "timed out", "dialog ended", "stopped", "unsent"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::DialogBench bench;
    DialogRef d = bench.NewDialog();
    const std::uint32_t start = bench.endpoint.now;
    const std::uint32_t first = d->State().localCSeq + 1;
    for (const auto& [offset, what] : c.script) {
      const auto colon = what.find(':');
      const int status = colon == std::string::npos ? 0 : std::stoi(what.substr(colon + 1));
      std::string challenge = (status == 401 ? "WWW" : "Proxy") + std::string("-Authenticate: Digest realm=\"pbx\"") +
                              ", nonce=\"n" + what + "\"" + (what.back() == 's' ? ", stale=true\r\n" : "\r\n");
      const bool challenged = status == 401 || status == 407;
      bench.waiter.Script(start + offset, *d,
                          status == 0 ? testing::FarRequest(*d, what)
                                      : testing::FarResponse(*d, status, first + std::stoul(what) - 1,
                                                             c.invite ? "INVITE" : "INFO", challenged ? challenge : ""));
    }
    ScriptedHost host(*d);
    host.stopAt = c.stopAt == 0 ? 0 : start + c.stopAt;
    RequestResult r = DialogRequestRunner(*d, host).Run(
        [&](SipRequestOut& out) {
          if (std::string_view(c.name) == "unsent") return false;
          return c.invite ? SendInvite(bench.endpoint, d->State(), out, {}) : SendInfo(bench.endpoint, d->State(), out);
        },
        c.limits);
    std::string seen = Wire(bench.endpoint, start, first) + "=> " + outcomes[static_cast<int>(r.outcome)] + " " +
                       std::to_string(r.status) + " @" + std::to_string(bench.endpoint.now - start);
    if (host.others != 0) seen += " others " + std::to_string(host.others);
    EXPECT_EQ(seen, c.expected);
    EXPECT_EQ(r.response != nullptr, r.outcome == RequestOutcome::kFinal);
    EXPECT_EQ(d->State().established, r.outcome != RequestOutcome::kDialogEnded);
  }
}

}  // namespace
}  // namespace corvina::sip
