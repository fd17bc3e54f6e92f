// What this file proves about RTP on the wire:
// - the reader finds exactly the payload between CSRC list / extension and padding, and a
//   datagram whose CSRC list, extension or padding overruns it keeps its header but plays
//   nothing; short or non-version-2 datagrams are not RTP;
// - the header writer produces the fixed 12-byte form, big-endian, marker in bit 7;
// - trace lines are byte-exact in both directions, video types marked.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/rtp_packet.h"
#include "media/rtp_trace.h"

namespace corvina::media {
namespace {

std::vector<std::uint8_t> Datagram(std::uint8_t first, std::vector<std::uint8_t> rest) {
  std::vector<std::uint8_t> d = {first, 0x00, 0x12, 0x34, 0, 0, 0x01, 0x00, 0xCA, 0xFE, 0xBA, 0xBE};
  d.insert(d.end(), rest.begin(), rest.end());
  return d;
}

TEST(RtpPacketTest, PayloadLiesBetweenHeaderPartsAndPadding) {
  const std::vector<std::uint8_t> media = {0xA1, 0xA2, 0xA3};
  struct Case {
    const char* name;
    std::vector<std::uint8_t> datagram;
    bool isRtp;
    std::vector<std::uint8_t> payload;
  };
  const Case cases[] = {
      {"plain", Datagram(0x80, media), true, media},
      {"two CSRC", Datagram(0x82, {1, 1, 1, 1, 2, 2, 2, 2, 0xA1, 0xA2, 0xA3}), true, media},
      {"extension of one word", Datagram(0x90, {0xBE, 0xDE, 0, 1, 9, 9, 9, 9, 0xA1, 0xA2, 0xA3}), true, media},
      {"extension and padding", Datagram(0xB0, {0xBE, 0xDE, 0, 1, 9, 9, 9, 9, 0xA1, 0xA2, 0xA3, 0, 0, 3}), true,
       media},
      {"CSRC, extension and padding", Datagram(0xB1, {7, 7, 7, 7, 0xBE, 0xDE, 0, 0, 0xA1, 0xA2, 0xA3, 0, 2}), true,
       media},
      {"padding is all there is", Datagram(0xA0, {0, 0, 3}), true, {}},
      {"CSRC list past the end", Datagram(0x83, {1, 1, 1, 1, 2, 2}), true, {}},
      {"extension header cut before its length", Datagram(0x90, {0xBE, 0xDE}), true, {}},
      {"extension longer than the datagram", Datagram(0x90, {0xBE, 0xDE, 0, 9, 0xA1, 0xA2}), true, {}},
      {"padding longer than the payload", Datagram(0xA0, {0xA1, 0xA2, 9}), true, {}},
      {"padding count zero", Datagram(0xA0, {0xA1, 0xA2, 0}), true, {}},
      {"padding with nothing left", Datagram(0xB0, {0xBE, 0xDE, 0, 0}), true, {}},
      {"eleven bytes", {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, {}},
      {"version 1", Datagram(0x40, media), false, {}},
      {"version 3", Datagram(0xC0, media), false, {}},
  };
  for (const Case& c : cases) {
    const std::optional<RtpPacketView> view = ParseRtpPacket(c.datagram);
    ASSERT_EQ(view.has_value(), c.isRtp) << c.name;
    if (!view) continue;
    EXPECT_EQ(std::vector<std::uint8_t>(view->payload.begin(), view->payload.end()), c.payload) << c.name;
    EXPECT_EQ(view->header.sequence, 0x1234) << c.name;
    EXPECT_EQ(view->header.timestamp, 0x100u) << c.name;
    EXPECT_EQ(view->header.ssrc, 0xCAFEBABEu) << c.name;
  }
}

TEST(RtpPacketTest, HeaderIsWrittenInItsFixedFormAndReadsBack) {
  RtpHeader h{true, 101, 0xFFFE, 0xFFFFFFF0u, 0x01020304u};
  std::uint8_t out[12];
  ASSERT_EQ(WriteRtpHeader(h, out), 12u);
  const std::vector<std::uint8_t> expected = {0x80, 0xE5, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xF0, 1, 2, 3, 4};
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 12), expected);
  const std::optional<RtpHeader> back = ParseRtpHeader(out);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->marker);
  EXPECT_EQ(back->payloadType, 101);
  EXPECT_EQ(back->sequence, 0xFFFE);
  EXPECT_EQ(back->timestamp, 0xFFFFFFF0u);
  EXPECT_EQ(back->ssrc, 0x01020304u);
  std::uint8_t shortOut[11];
  EXPECT_EQ(WriteRtpHeader(h, shortOut), 0u);
}

TEST(RtpPacketTest, TraceLinesAreByteExact) {
  const platform::SocketAddress peer{0x7F000001u, 8000};
  struct Case {
    RtpTraceDirection direction;
    std::int64_t ms;
    RtpHeader header;
    std::size_t length;
    std::string line;
  };
  const Case cases[] = {
      {RtpTraceDirection::kReceived, 123456, {true, 0, 7, 160, 42}, 172,
       "3456ms Rtp <<< 127.0.0.1:8000 Mark 0 seq=    7 ts=       160 ssrc=        42   160 bytes \r\n"},
      {RtpTraceDirection::kReceived, 5, {false, 26, 65535, 4294967295u, 4294967295u}, 1012,
       "0005ms Rtp <<< 127.0.0.1:8000      26 seq=65535 ts=4294967295 ssrc=4294967295  1000 bytes (video)\r\n"},
      {RtpTraceDirection::kSent, 20000, {false, 13, 300, 8000, 1}, 13,
       "0000ms Rtp >>> 127.0.0.1:8000      13 seq=  300 ts=      8000 ssrc=         1     1 bytes\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatRtpTrace(c.direction, c.ms, peer, c.header, c.length), c.line);
  }
}

}  // namespace
}  // namespace corvina::media
