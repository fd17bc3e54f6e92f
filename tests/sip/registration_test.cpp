// Registration on the engine core with a fake clock:
// - the first REGISTER's exact text (CSeq 2, q=0.90, public address in Via and Contact);
// - resent every 7000 ms without an answer, given up after 40 s for 300000 ms;
// - the granted expiry rules (Expires, our contact, other contacts, 20 s floor, 3600 s cap)
//   and the keep-alive flag above 60 s;
// - digest answers with qop, refusal on a second non-stale challenge, stale re-answer, empty
//   password, late answers to an earlier CSeq ignored, other failures back off 600000 ms;
// - the phase the user is shown: registering, registered, no password (kept through the 40 s
//   give-up while the registrar answers), refused, no answer, rejected, peer to peer;
// - shared records, unregistration on the last removal (a challenge repeats expires 0);
// - the keep-alives flag survives a line without a domain while another registers;
// - name look-ups and the observer run outside the registrations lock: another thread can take
//   the list meanwhile, and the observer may call back into it.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "sip/md5.h"
#include "sip/sip_parser.h"
#include "sip/wire_format.h"
#include "tests/support/other_thread_probe.h"

namespace corvina::sip {
namespace {

using testing::EngineHarness;

constexpr std::uint32_t kRegistrar = 0xC6336401;  // 198.51.100.1

struct RegistrationHarness : EngineHarness {
  RegistrationKey key = LineRegistrationKey("100", "reg.example", "", "", "secret");
  RegistrationHarness() {
    resolver.names["reg.example"] = kRegistrar;
    PublicAddress("203.0.113.9", 6000, true);
    log.entries.clear();
  }
  void Add() { core.Registrations().Add(key, 90, clock.NowMs()); }
  // Adds the line's registration and runs the cycle that sends the first REGISTER.
  void AddAndSend() {
    Add();
    Cycle();
  }
  SipMessage LastSent() {
    EXPECT_FALSE(socket.sent.empty());
    SipMessage m;
    if (!socket.sent.empty()) ParseMessage(socket.sent.back().text, m);
    return m;
  }
  // A response to the last REGISTER sent.
  std::string Answer(int status, std::string_view reason, std::string_view extra = "") {
    SipMessage r = LastSent();
    return FormatWire("SIP/2.0 %d %s\r\nVia: %s\r\nFrom: %s\r\nTo: %s\r\nCall-ID: %s\r\nCSeq: %s\r\n%sContent-Length: 0\r\n\r\n",
                      {status, reason, r.FindHeader(kVia), r.FindHeader(kFrom), r.FindHeader(kTo),
                       r.FindHeader(kCallId), r.FindHeader(kCSeq), extra});
  }
  void Reply(const std::string& text) { Receive(text, {kRegistrar, 5060}); }
  RegistrationStatus Status() { return core.Registrations().Snapshot(clock.NowMs()).at(0); }
};

TEST(Registration, FirstRegisterText) {
  RegistrationHarness h;
  h.AddAndSend();
  ASSERT_EQ(h.socket.sent.size(), 1u);
  EXPECT_EQ(h.socket.sent[0].to, (SocketAddress{kRegistrar, 5060}));
  SipMessage sent = h.LastSent();
  const std::string expected = FormatWire(
      "REGISTER sip:reg.example SIP/2.0\r\nVia: SIP/2.0/UDP 203.0.113.9:6000;rport;branch=%s\r\n"
      "Max-Forwards: 20\r\nTo: <sip:100@reg.example>\r\nFrom: <sip:100@reg.example>;tag=%s\r\nCall-ID: %s\r\n"
      "CSeq: 2 REGISTER\r\nContact: <sip:100@203.0.113.9:6000>;expires=3600;q=0.90\r\n"
      "User-Agent: Tessaly Corvina 4.01\r\nContent-Length: 0\r\n\r\n",
      {std::string("z9hG4bK04321"), std::string(sent.FindHeader(kFrom)).substr(26),
       sent.FindHeader(kCallId)});
  EXPECT_EQ(h.socket.sent[0].text, expected);
  EXPECT_TRUE(h.Logged("Attempting to register sip:100@reg.example"));

  RegistrationHarness q;
  q.key.contactUser = "5";
  q.core.Registrations().Add(q.key, 5, q.clock.NowMs());
  q.core.Registrations().Add(LineRegistrationKey("7", "reg.example", "", "", "x"), 150, q.clock.NowMs());
  q.Cycle();
  ASSERT_EQ(q.socket.sent.size(), 2u);
  EXPECT_NE(q.socket.sent[0].text.find(";q=0.99\r\n"), std::string::npos);
  EXPECT_NE(q.socket.sent[1].text.find(";q=0.05\r\n"), std::string::npos);
}

TEST(Registration, RetriesEverySevenSecondsAndGivesUpAfterForty) {
  RegistrationHarness h;
  h.Add();
  std::vector<std::uint32_t> sends;
  const std::uint32_t start = h.clock.NowMs();
  while (h.clock.NowMs() - start < 60000) {
    std::uint32_t wait = h.Cycle();
    for (auto& s : h.socket.Take()) {
      if (s.text.starts_with("REGISTER")) sends.push_back(h.clock.NowMs() - start);
    }
    h.clock.Advance(std::max<std::uint32_t>(wait, 1));
  }
  EXPECT_EQ(sends, (std::vector<std::uint32_t>{0, 7000, 14000, 21000, 28000, 35000, 42000}));
  EXPECT_TRUE(h.Logged("Server reg.example did not respond to register (user sip:100@reg.example)"));
  EXPECT_TRUE(h.Logged("Check server details for that line"));
  EXPECT_EQ(h.Status().phase, RegistrationPhase::kNoAnswer);
  EXPECT_EQ(h.Status().secondsToNextAttempt, 300 - (h.clock.NowMs() - start - 42000 + 999) / 1000);
}

TEST(Registration, GrantedExpirySchedulesTheRefresh) {
  struct Case {
    std::string_view headers;
    std::uint32_t refreshAfterMs;
    bool keepAlive;
  } cases[] = {
      {"Contact: <sip:100@203.0.113.9:6000>;expires=1800\r\n", 1790000, true},
      {"Expires: 10\r\n", 10000, false},
      {"Expires: 60\r\n", 50000, false},
      {"Expires: 61\r\n", 51000, true},
      {"Expires: 3600\r\nContact: <sip:100@198.51.100.7:5060>;expires=300, <sip:100@198.51.100.8>;expires=600\r\n",
       590000, true},
      {"Expires: 3600\r\nm: <sip:100@203.0.113.9:6000>;expires=1800\r\nContact: <sip:100@198.51.100.8>;expires=3600\r\n",
       1790000, true},
      {"Expires: 4294967\r\n", 3590000, true},
      {"", 3590000, true},
  };
  for (const Case& c : cases) {
    RegistrationHarness h;
    h.AddAndSend();
    h.Reply(h.Answer(200, "OK", c.headers));
    EXPECT_TRUE(h.Status().registered) << c.headers;
    EXPECT_TRUE(h.Logged("Registered as: sip:100@reg.example"));
    h.socket.Take();
    // Drive the engine by its own waits until the refresh goes out. A keep-alive sent just
    // before the refresh falls due may hold it back by up to the 7000 ms retry spacing.
    const std::uint32_t start = h.clock.NowMs();
    int keepAlives = 0;
    std::uint32_t refreshedAt = 0;
    while (refreshedAt == 0 && h.clock.NowMs() - start < 3700000) {
      h.clock.Advance(std::max<std::uint32_t>(h.Cycle(), 1));
      for (auto& s : h.socket.Take()) {
        if (s.text == std::string(4, '\0')) ++keepAlives;
        if (s.text.starts_with("REGISTER")) refreshedAt = h.clock.NowMs() - start;
      }
    }
    EXPECT_GE(refreshedAt, c.refreshAfterMs) << c.headers;
    EXPECT_LE(refreshedAt, c.refreshAfterMs + 7000) << c.headers;
    if (c.refreshAfterMs > 60000) {
      EXPECT_EQ(keepAlives > 0, c.keepAlive) << c.headers;
    }
  }
}

TEST(Registration, DigestChallengeIsAnsweredWithQopAndRefusalIsDetected) {
  RegistrationHarness h;
  h.AddAndSend();
  const std::string challenge = "WWW-Authenticate: Digest realm=\"reg.example\", nonce=\"n1\", qop=\"auth,auth-int\"\r\n";
  const std::string firstAnswerToFirst = h.Answer(401, "Unauthorized", challenge);
  h.Reply(firstAnswerToFirst);
  SipMessage withCredentials = h.LastSent();
  EXPECT_EQ(withCredentials.FindHeader(kCSeq), "3 REGISTER");
  std::string_view authorization = withCredentials.FindHeader("Authorization");
  ASSERT_NE(authorization.find(",qop=auth,nc=00000001,cnonce=\""), std::string_view::npos) << authorization;
  std::size_t c = authorization.find("cnonce=\"") + 8;
  std::string cnonce(authorization.substr(c, authorization.find('"', c) - c));
  std::string expected = Md5Hex(Md5Hex("100:reg.example:secret") + ":n1:00000001:" + cnonce + ":auth:" +
                                Md5Hex("REGISTER:sip:reg.example"));
  EXPECT_NE(authorization.find("response=\"" + expected + "\""), std::string_view::npos);

  // A late copy of the first 401 (CSeq 2) is ignored.
  ASSERT_EQ(h.socket.sent.size(), 2u);
  h.Reply(firstAnswerToFirst);
  EXPECT_EQ(h.socket.sent.size(), 2u);
  EXPECT_EQ(h.log.entries.size(), 1u);  // only "Attempting to register"

  // Stale: answered again.
  h.Reply(h.Answer(401, "Unauthorized", "WWW-Authenticate: Digest realm=\"reg.example\",nonce=\"n2\",stale=true\r\n"));
  ASSERT_EQ(h.socket.sent.size(), 3u);
  EXPECT_EQ(h.LastSent().FindHeader(kCSeq), "4 REGISTER");

  // Not stale while credentials were tried: refused, ten minutes off.
  h.Reply(h.Answer(401, "Unauthorized", challenge));
  EXPECT_TRUE(h.Logged("Register authorization failed for sip:100@reg.example"));
  EXPECT_TRUE(h.Logged("Error returned : 401 Unauthorized"));
  EXPECT_TRUE(h.Logged("Check username or password for the proxy server."));
  EXPECT_EQ(h.Status().secondsToNextAttempt, 600);
  EXPECT_FALSE(h.Status().registered);
  EXPECT_EQ(h.Status().phase, RegistrationPhase::kRefused);
}

TEST(Registration, ProxyChallengeEmptyPasswordAndOtherFailures) {
  RegistrationHarness h;
  h.AddAndSend();
  h.Reply(h.Answer(407, "Proxy Authentication Required",
                   "Proxy-Authenticate: Digest realm=\"x\",nonce=\"a\",algorithm=SHA-256\r\n"
                   "Proxy-Authenticate: Digest realm=\"x\",nonce=\"b\",algorithm=MD5\r\n"));
  const SipMessage answered = h.LastSent();
  std::string_view credentials = answered.FindHeader("Proxy-Authorization");
  EXPECT_NE(credentials.find("nonce=\"b\""), std::string_view::npos) << "the MD5 challenge is answered";
  EXPECT_EQ(credentials.find("qop="), std::string_view::npos) << "no qop offered, none sent";

  h.Reply(h.Answer(403, "Forbidden"));
  EXPECT_TRUE(h.Logged("Register attempt for proxy sip:100@reg.example failed"));
  EXPECT_TRUE(h.Logged("403 Forbidden"));
  EXPECT_EQ(h.Status().secondsToNextAttempt, 600);
  EXPECT_EQ(h.Status().phase, RegistrationPhase::kRejected);
  EXPECT_EQ(h.Status().reason, "Forbidden");

  RegistrationHarness e;
  e.key.password.clear();
  e.AddAndSend();
  e.Reply(e.Answer(401, "Unauthorized", "WWW-Authenticate: Digest realm=\"x\",nonce=\"a\"\r\n"));
  EXPECT_TRUE(e.Logged("Enter a password for this proxy server."));
  EXPECT_EQ(e.socket.sent.size(), 1u);
  for (int i = 0; i < 7; ++i, e.Cycle()) {  // challenged on every resend: past the 40 s give-up
    e.Reply(e.Answer(401, "Unauthorized", "WWW-Authenticate: Digest realm=\"x\",nonce=\"a\"\r\n"));
    e.clock.Advance(7000);
  }
  EXPECT_TRUE(e.Logged("Check server details for that line"));
  EXPECT_EQ(e.Status().phase, RegistrationPhase::kNoPassword) << "the registrar answers: it is the password";

  // A provisional answer restarts the 7000 ms retry.
  RegistrationHarness p;
  p.AddAndSend();
  p.clock.Advance(5000);
  p.Reply(p.Answer(100, "Trying"));
  EXPECT_EQ(p.Cycle(), 7000u);
}

TEST(Registration, WaitHonoursTheRefreshTheRetrySpacingAndTheKeepAlive) {
  RegistrationHarness h;
  h.Add();
  EXPECT_EQ(h.Cycle(), 7000u) << "no answer yet: the retry";
  h.Reply(h.Answer(200, "OK", "Expires: 25\r\n"));
  EXPECT_EQ(h.Cycle(), 15000u) << "the refresh 10 s before the 25 s run out";
  h.Reply(h.Answer(200, "OK", "Expires: 3600\r\n"));
  EXPECT_EQ(h.Cycle(), EngineCore::kMaxWaitMs) << "never longer than 20 s";
  h.socket.Take();
  h.clock.Advance(40000);  // the engine was busy for 40 s
  EXPECT_EQ(h.Cycle(), 9000u) << "the STUN keep-alive slot, 49 s after start";
  h.clock.Advance(9000);
  EXPECT_EQ(h.Cycle(), 2000u) << "the registrar keep-alive is due 51 s after the last send";
  EXPECT_TRUE(h.socket.Take().empty()) << "no STUN server configured";
  h.clock.Advance(2000);
  h.Cycle();
  ASSERT_EQ(h.socket.sent.size(), 1u);
  EXPECT_EQ(h.socket.sent[0].text, std::string(4, '\0'));
  EXPECT_EQ(h.socket.sent[0].to, (SocketAddress{kRegistrar, 5060}));
}

TEST(Registration, SharedRecordsAndUnregistration) {
  RegistrationHarness h;
  h.Add();
  h.Add();
  EXPECT_EQ(h.core.Registrations().Size(), 1u);
  h.Cycle();
  h.Reply(h.Answer(200, "OK", "Expires: 300\r\n"));
  h.socket.Take();
  h.core.Registrations().Remove(h.key, h.clock.NowMs());
  EXPECT_TRUE(h.socket.sent.empty()) << "still used by the other line";
  h.core.Registrations().Remove(h.key, h.clock.NowMs());
  ASSERT_EQ(h.socket.sent.size(), 1u);
  EXPECT_NE(h.socket.sent[0].text.find(";expires=0;"), std::string::npos);
  EXPECT_TRUE(h.core.Registrations().UnregisterPending());
  // Challenged: answered with expires 0 again, not with a new hour.
  h.Reply(h.Answer(401, "Unauthorized", "WWW-Authenticate: Digest realm=\"x\",nonce=\"a\"\r\n"));
  ASSERT_EQ(h.socket.sent.size(), 2u);
  EXPECT_NE(h.socket.sent[1].text.find(";expires=0;"), std::string::npos);
  EXPECT_NE(h.socket.sent[1].text.find("Authorization: Digest"), std::string::npos);
  h.Reply(h.Answer(200, "OK"));
  EXPECT_FALSE(h.core.Registrations().UnregisterPending());
  EXPECT_EQ(h.core.Registrations().Size(), 0u);
}

TEST(Registration, LineWithoutDomainKeepsKeepAlivesOfAnotherLine) {
  RegistrationHarness h;
  h.core.Registrations().Add(LineRegistrationKey("200", "", "", "", ""), 90, h.clock.NowMs());
  h.Cycle();
  EXPECT_FALSE(h.core.KeepAlivesNeeded()) << "nothing registers";
  EXPECT_TRUE(h.Status().registered) << "a line without a domain counts as registered";
  EXPECT_EQ(h.Status().phase, RegistrationPhase::kPeerToPeer);

  RegistrationHarness g;
  g.core.Registrations().Add(LineRegistrationKey("200", "", "", "", ""), 90, g.clock.NowMs());
  g.AddAndSend();
  EXPECT_TRUE(g.core.KeepAlivesNeeded());
}

class ReadingObserver final : public EngineObserver {
 public:
  ReadingObserver(RegistrationList& list, corvina::testing::OtherThreadProbe& probe) : list_(list), probe_(probe) {}
  void RegistrationChanged(const RegistrationStatus& status) override {
    seen.push_back(status);
    free = probe_.Finishes([this] { list_.Size(); });
    if (free) sizeSeen = list_.Snapshot(0).size();  // calls back into the list
  }
  void AddressChanged(const OwnAddresses&) override {}
  std::vector<RegistrationStatus> seen;
  bool free = false;
  std::size_t sizeSeen = 0;

 private:
  RegistrationList& list_;
  corvina::testing::OtherThreadProbe& probe_;
};

TEST(Registration, LookUpsAndTheObserverRunOutsideTheLock) {
  RegistrationHarness h;
  corvina::testing::OtherThreadProbe probe;
  ReadingObserver observer(h.core.Registrations(), probe);
  h.core.SetObserver(&observer);
  int lookUps = 0;
  bool lookUpsFree = true;
  h.resolver.onLookUp = [&] {
    ++lookUps;
    lookUpsFree = probe.Finishes([&] { h.core.Registrations().Size(); }) && lookUpsFree;
  };
  h.AddAndSend();
  h.Reply(h.Answer(200, "OK"));
  EXPECT_GE(lookUps, 1);
  EXPECT_TRUE(lookUpsFree);
  ASSERT_EQ(observer.seen.size(), 2u);  // the first attempt, then its success
  EXPECT_EQ(observer.seen[0].phase, RegistrationPhase::kRegistering);
  EXPECT_TRUE(observer.seen[1].registered);
  EXPECT_EQ(observer.seen[1].addressOfRecord, "sip:100@reg.example");
  EXPECT_TRUE(observer.free);
  EXPECT_EQ(observer.sizeSeen, 1u);
  h.core.SetObserver(nullptr);
}

}  // namespace
}  // namespace corvina::sip
