// A Replaces value names a dialog by Call-ID and both tags, read alike plain or escaped.
#include <gtest/gtest.h>

#include "sip/replaces.h"

namespace corvina::sip {
namespace {

TEST(Replaces, NeedsCallIdAndBothTagsPlainOrEscaped) {
  Dialog d;
  d.callId = "abc@host";
  d.localTag = "111";
  d.remoteParty = "<sip:200@198.51.100.9>;tag=222";
  EXPECT_TRUE(ReplacesNames("abc@host;to-tag=111;from-tag=222", d));
  EXPECT_TRUE(ReplacesNames("abc%40host;From-Tag=222; to-tag=111", d));
  EXPECT_TRUE(ReplacesNames("abc%40host%3Bto-tag%3D111%3Bfrom-tag%3D222", d));
  EXPECT_FALSE(ReplacesNames("abc@host;to-tag=222;from-tag=111", d));
  EXPECT_FALSE(ReplacesNames("abc@host;to-tag=111", d));
  EXPECT_FALSE(ReplacesNames("other@host;to-tag=111;from-tag=222", d));
  EXPECT_EQ(ParseReplaces("def rest;to-tag=1").callId, "def");
}

}  // namespace
}  // namespace corvina::sip
