// What these tests prove:
// - the codec choice and the answer's payload order for the offers that matter, with and
//   without the low-bandwidth preference, static and dynamic numbers, and no common codec;
// - the address the answer advertises and where RTP goes (private, public, same NAT, none);
// - offers, answers, the hold offer and the capability description byte for byte;
// - a multi-stream offer gets one answer line per offered stream, the others refused;
// - an unusable or empty SDP leaves the session as it was.
#include "call/sdp_session.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/memory_settings_store.h"
#include "platform/name_resolver.h"
#include "platform/settings.h"

namespace corvina::call {
namespace {

// Dotted addresses only; names never resolve.
class DottedResolver final : public platform::NameResolver {
 public:
  std::optional<std::uint32_t> ResolveIpv4(std::string_view host) override { return platform::ParseIpv4(host); }
};

const SdpLocalMedia kLocal{"203.0.113.5", 16000, "192.168.1.10", 8000};

class SdpTest : public ::testing::Test {
 protected:
  SdpTest() : settings_(store_), counter_(1000), session_(counter_, settings_, resolver_) {}

  void SetSip(std::string_view name, std::string_view value) { settings_.SetSettingString("SIP", name, value); }

  platform::MemorySettingsStore store_;
  platform::Settings settings_;
  DottedResolver resolver_;
  SdpCounter counter_;
  SdpSession session_;
};

std::string Offer(std::string_view connection, std::string_view media, std::string_view extra = "") {
  std::string s = "v=0\r\no=peer 1 1 IN IP4 198.51.100.7\r\ns=-\r\n";
  if (!connection.empty()) s += "c=IN IP4 " + std::string(connection) + "\r\n";
  s += "t=0 0\r\nm=audio 4000 RTP/AVP " + std::string(media) + "\r\n" + std::string(extra);
  return s;
}

// The payload list of the answer's m=audio line (with its leading space).
std::string AnswerList(const std::string& answer) {
  std::size_t at = answer.find("m=audio ");
  std::size_t start = answer.find(" RTP/AVP", at) + 8;
  return answer.substr(start, answer.find("\r\n", start) - start);
}

TEST_F(SdpTest, CodecChoiceAndAnswerOrder) {
  struct Case {
    const char* quality;  // nullptr: unset
    const char* payloads;
    const char* rtpmaps;
    const char* answerList;
    int audio, cn, telephoneEvent, g726;
  };
  const Case cases[] = {
      {nullptr, "0 8 3 101", "a=rtpmap:101 telephone-event/8000\r\n", " 0 8 3 101", 0, 255, 101, 2},
      {"40", "0 8 3 101", "a=rtpmap:101 telephone-event/8000\r\n", " 3 0 8 101", 3, 255, 101, 2},
      {"", "0 8 3 101", "", " 0 8 3 101", 0, 255, 101, 2},
      {"70", "3 0 8", "", " 3 0 8", 3, 255, 255, 2},
      {nullptr, "96 0", "a=rtpmap:96 G726-32/8000\r\n", " 96 0", 96, 255, 255, 96},
      {nullptr, "0 97", "a=rtpmap:97 g726-32/8000\r\n", " 0 97", 0, 255, 255, 97},
      {"40", "0 97", "a=rtpmap:97 G726-32/8000\r\n", " 97 0", 97, 255, 255, 97},
      {nullptr, "0 8", "", " 0 8", 0, 255, 255, 2},
      {nullptr, "8 0 98 110", "a=rtpmap:110 telephone-event/8000\r\na=rtpmap:98 CN/8000\r\n", " 0 8 98 110", 0, 98,
       110, 2},
      // Listed under the static numbers while the rtpmap lines name others: the listed ones count.
      {nullptr, "2 0 13", "a=rtpmap:96 G726-32/8000\r\na=rtpmap:98 CN/8000\r\n", " 0 2 13", 0, 13, 255, 2},
      {"40", "2", "a=rtpmap:13 G726-32/8000\r\n", " 2", 2, 255, 255, 2},
  };
  for (const Case& c : cases) {
    if (c.quality) SetSip("Quality", c.quality);
    else store_.DeleteValue(platform::Settings::SectionPath("SIP"), "Quality");
    SdpSession session(counter_, settings_, resolver_);
    SdpNegotiation n = session.Negotiate(Offer("198.51.100.7", c.payloads, c.rtpmaps), true, false, kLocal);
    SCOPED_TRACE(c.payloads);
    ASSERT_TRUE(n.usable);
    EXPECT_EQ(AnswerList(n.answer), c.answerList);
    EXPECT_EQ(session.State().audioPayloadType, c.audio);
    EXPECT_EQ(session.State().cnPayloadType, c.cn);
    EXPECT_EQ(session.State().telephoneEventPayloadType, c.telephoneEvent);
    EXPECT_EQ(session.State().g726PayloadType, c.g726);
    EXPECT_EQ(n.answer.find("telephone-event") != std::string::npos, c.telephoneEvent != 255);
    EXPECT_EQ(n.answer.find(" CN/") != std::string::npos, c.cn != 255);
  }
}

TEST_F(SdpTest, NoCommonCodecIsUnusableAndChangesNothing) {
  session_.BuildOffer(kLocal, false);
  const SdpState before = session_.State();
  for (const char* payloads : {"18", "18 101", "13", ""}) {
    SdpNegotiation n = session_.Negotiate(Offer("198.51.100.7", payloads, "a=rtpmap:101 telephone-event/8000\r\n"),
                                          true, false, kLocal);
    EXPECT_FALSE(n.usable) << payloads;
    EXPECT_TRUE(n.answer.empty());
    EXPECT_EQ(session_.State().version, before.version);
    EXPECT_EQ(session_.State().remotePort, before.remotePort);
  }
  EXPECT_FALSE(session_.Negotiate("m=video 5000 RTP/AVP 31\r\n", false, false, kLocal).usable);
  EXPECT_TRUE(session_.Negotiate("", true, false, kLocal).usable);
  EXPECT_EQ(session_.State().version, before.version);
}

TEST_F(SdpTest, AddressChoice) {
  struct Case {
    const char* name;
    const char* connection;
    const char* extra;
    const char* answerConnection;  // c= of the answer
    int answerPort;                // port of the answer's m= line
    bool answerHasLocal;
    const char* remoteAddress;
    int remotePort;
    bool learn;
  };
  const Case cases[] = {
      {"public peer", "198.51.100.7", "", "203.0.113.5", 16000, false, "198.51.100.7", 4000, false},
      {"private peer", "10.1.2.3", "", "192.168.1.10", 8000, false, "10.1.2.3", 4000, false},
      {"172.16/12 is private", "172.31.0.9", "", "192.168.1.10", 8000, false, "172.31.0.9", 4000, false},
      {"172.217 is public", "172.217.3.4", "", "203.0.113.5", 16000, false, "172.217.3.4", 4000, false},
      {"172.48 is public", "172.48.3.4", "", "203.0.113.5", 16000, false, "172.48.3.4", 4000, false},
      {"127.1 is not private", "127.1.0.1", "", "203.0.113.5", 16000, false, "127.1.0.1", 4000, false},
      {"no connection address", "", "", "192.168.1.10", 8000, false, "", 4000, true},
      {"active peer", "198.51.100.7", "a=direction:Active\r\n", "203.0.113.5", 16000, false, "198.51.100.7", 4000,
       true},
      {"same NAT by domain", "198.51.100.7", "a=local:192.168.1.20 9000\r\na=domain:203.0.113.5\r\n",
       "192.168.1.10", 8000, false, "192.168.1.20", 9000, false},
      {"same NAT by connection", "203.0.113.5", "a=local:192.168.1.20 9000\r\n", "192.168.1.10", 8000, false,
       "192.168.1.20", 9000, false},
      {"other NAT", "198.51.100.7", "a=local:192.168.1.20 9000\r\na=domain:198.51.100.7\r\n", "203.0.113.5", 16000,
       false, "198.51.100.7", 4000, false},
      {"same NAT, public private address", "203.0.113.5", "a=local:198.51.100.20 9000\r\n", "203.0.113.5", 16000,
       true, "198.51.100.20", 9000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SdpSession session(counter_, settings_, resolver_);
    SdpNegotiation n = session.Negotiate(Offer(c.connection, "0", c.extra), true, false, kLocal);
    ASSERT_TRUE(n.usable);
    EXPECT_NE(n.answer.find("c=IN IP4 " + std::string(c.answerConnection) + "\r\n"), std::string::npos) << n.answer;
    EXPECT_NE(n.answer.find("m=audio " + std::to_string(c.answerPort) + " "), std::string::npos) << n.answer;
    EXPECT_EQ(n.answer.find("a=local:") != std::string::npos, c.answerHasLocal) << n.answer;
    EXPECT_EQ(session.State().remoteAddress, c.remoteAddress);
    EXPECT_EQ(session.State().remotePort, c.remotePort);
    EXPECT_EQ(session.State().learnRemoteAddress, c.learn);
  }
}

TEST_F(SdpTest, AnswerIsWrittenByteForByte) {
  SetSip("Active", "1");
  const std::string offer =
      "v=0\r\no=peer 5 5 IN IP4 198.51.100.7\r\ns=-\r\nc=IN IP4 198.51.100.7\r\nt=0 0\r\n"
      "m=audio 4000 RTP/AVP 8 0 101\r\na=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-15\r\na=sendonly\r\n";
  SdpNegotiation n = session_.Negotiate(offer, true, true, kLocal);
  ASSERT_TRUE(n.usable);
  EXPECT_EQ(n.answer,
            "v=0\r\no=Tessaly-Corvina 1000 1001 IN IP4 203.0.113.5\r\ns=Corvina Call\r\nc=IN IP4 203.0.113.5\r\n"
            "t=0 0\r\nm=audio 16000 RTP/AVP 0 8 101\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\n"
            "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-16\r\na=recvonly\r\na=direction:active\r\n");
  EXPECT_TRUE(session_.State().sendSuppressed);
  EXPECT_EQ(session_.State().remoteAddress, "198.51.100.7");

  // Behind the same NAT the answer names both addresses and leaves out a=direction:active.
  const std::string sameNat = Offer("203.0.113.5", "0", "a=local:198.51.100.20 9000\r\n");
  EXPECT_EQ(session_.Negotiate(sameNat, true, false, kLocal).answer,
            "v=0\r\no=Tessaly-Corvina 1000 1002 IN IP4 203.0.113.5\r\ns=Corvina Call\r\nc=IN IP4 203.0.113.5\r\n"
            "t=0 0\r\nm=audio 16000 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=sendrecv\r\n"
            "a=local:192.168.1.10 8000\r\na=domain:203.0.113.5\r\n");
}

TEST_F(SdpTest, OffersAreWrittenByteForByte) {
  EXPECT_EQ(session_.BuildOffer(kLocal, false),
            "v=0\r\no=Tessaly-Corvina 1000 1001 IN IP4 203.0.113.5\r\ns=Corvina Call\r\nc=IN IP4 203.0.113.5\r\n"
            "t=0 0\r\nm=audio 16000 RTP/AVP 0 8 96 3 13 101\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\n"
            "a=rtpmap:96 G726-32/8000\r\na=rtpmap:3 GSM/8000\r\na=rtpmap:13 CN/8000\r\n"
            "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-16\r\na=sendrecv\r\n"
            "a=local:192.168.1.10 8000\r\na=domain:203.0.113.5\r\n");

  // The hold offer: next version, low-bandwidth list, sendonly; one address, so no a=local.
  SetSip("Quality", "30");
  SetSip("Active", "1");
  const SdpLocalMedia open{"198.51.100.40", 8002, "198.51.100.40", 8002};
  EXPECT_EQ(session_.BuildOffer(open, true),
            "v=0\r\no=Tessaly-Corvina 1000 1002 IN IP4 198.51.100.40\r\ns=Corvina Call\r\n"
            "c=IN IP4 198.51.100.40\r\nt=0 0\r\nm=audio 8002 RTP/AVP 3 96 0 8 13 101\r\na=rtpmap:3 GSM/8000\r\n"
            "a=rtpmap:96 G726-32/8000\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:13 CN/8000\r\n"
            "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-16\r\na=sendonly\r\na=direction:active\r\n");

  // Capabilities take the next counter number for both o= numbers; sessions take their own.
  SetSip("Active", "0");
  SetSip("Quality", "");
  EXPECT_EQ(BuildCapabilities(counter_, settings_),
            "v=0\r\no=Tessaly-Corvina 1001 1001 IN IP4 \r\ns=Corvina Call\r\nc=IN IP4 \r\nt=0 0\r\n"
            "m=audio 0 RTP/AVP 0 8 96 3 13 101\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:8 PCMA/8000\r\n"
            "a=rtpmap:96 G726-32/8000\r\na=rtpmap:3 GSM/8000\r\na=rtpmap:13 CN/8000\r\n"
            "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-16\r\na=sendrecv\r\n");
  SdpSession next(counter_, settings_, resolver_);
  EXPECT_EQ(next.State().sessionId, 1002u);
}

TEST_F(SdpTest, ReadingAnAnswerKeepsTheVersionAndWritesNothing) {
  session_.BuildOffer(kLocal, false);
  SdpNegotiation n = session_.Negotiate(Offer("198.51.100.7", "3 0", "a=sendonly\r\n"), false, false, kLocal);
  ASSERT_TRUE(n.usable);
  EXPECT_TRUE(n.answer.empty());
  EXPECT_EQ(session_.State().version, 1001u);
  EXPECT_EQ(session_.State().audioPayloadType, 3);
  EXPECT_TRUE(session_.State().sendSuppressed);
}

TEST_F(SdpTest, OtherStreamsAreRefusedInTheirPlaces) {
  const std::string offer =
      "v=0\r\no=peer 5 5 IN IP4 198.51.100.7\r\ns=-\r\nc=IN IP4 198.51.100.7\r\nt=0 0\r\n"
      "m=video 5002 RTP/AVP 31 34\r\nc=IN IP4 10.9.9.9\r\na=rtpmap:31 H261/90000\r\na=sendonly\r\n"
      "m=audio 4000 RTP/AVP 0\r\n"
      "m=audio 4002 RTP/AVP 8\r\na=rtpmap:8 telephone-event/8000\r\n"
      "m=application 7000 udp wb\r\n";
  SdpNegotiation n = session_.Negotiate(offer, true, false, kLocal);
  ASSERT_TRUE(n.usable);
  EXPECT_EQ(n.answer.substr(n.answer.find("t=0 0\r\n") + 7),
            "m=video 0 RTP/AVP 31\r\nm=audio 16000 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=sendrecv\r\n"
            "m=audio 0 RTP/AVP 8\r\nm=application 0 udp wb\r\n");
  // Lines of the refused streams do not count.
  EXPECT_FALSE(session_.State().sendSuppressed);
  EXPECT_EQ(session_.State().remoteAddress, "198.51.100.7");
  EXPECT_EQ(session_.State().remotePort, 4000);
}

}  // namespace
}  // namespace corvina::call
