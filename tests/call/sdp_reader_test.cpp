// What these tests prove: the reader keeps its limits (259 characters per type and value, never
// inside a character, at most kMaxSdpLines lines) and reads the lines of the negotiation even
// when written loosely.
#include "call/sdp_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace corvina::call {
namespace {

TEST(SdpReader, CutsLongValuesAndStopsAfterTheLineLimit) {
  // "domain:" takes 7 of the 259 units; a two-byte character straddling the limit is dropped whole.
  std::string text = "a=domain:" + std::string(251, 'x') + "\xC3\xA9\xC3\xA9" + "tail\r\n";
  RemoteSdp sdp = ReadSdp(text);
  EXPECT_EQ(sdp.domain, std::string(251, 'x') + "\xC3\xA9");

  std::string many = "m=audio 4000 RTP/AVP 0\r\n";
  for (std::size_t i = 1; i < kMaxSdpLines; ++i) many += "a=x\r\n";
  EXPECT_FALSE(ReadSdp(many + "a=sendonly\r\n").sendOnly);
  EXPECT_TRUE(ReadSdp(many.substr(0, many.size() - 5) + "a=sendonly\r\n").sendOnly);
}

TEST(SdpReader, ReadsLooseLines) {
  RemoteSdp sdp = ReadSdp(
      "  c = IN IP4  198.51.100.7\n"
      "m=audio 4000/2 RTP/AVP 0 x 300 128 97 8\r"
      "a=rtpmap: 353 G726-32/8000\r\n"   // 353 mod 256 = 97
      "a=rtpmap:200 CN/8000\r\n"         // 200 is above 127: dropped
      "a=local:192.168.1.20   9000\r\n"
      "a=direction:ACTIVE now\r\n");
  EXPECT_EQ(sdp.connectionAddress, "198.51.100.7");
  EXPECT_EQ(sdp.audioPort, 4000);
  EXPECT_EQ(sdp.payloadTypes, (std::vector<std::uint8_t>{0, 97, 8}));
  EXPECT_EQ(sdp.PayloadTypeOf("g726-32", 2), 97);
  EXPECT_EQ(sdp.PayloadTypeOf("CN", 13), 13);
  EXPECT_TRUE(sdp.hasLocal);
  EXPECT_EQ(sdp.localAddress, "192.168.1.20");
  EXPECT_EQ(sdp.localPort, 9000);
  EXPECT_TRUE(sdp.directionActive);
}

}  // namespace
}  // namespace corvina::call
