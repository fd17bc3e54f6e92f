#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvina::platform {
namespace {

TEST(Utf16Length, CountsCodeUnitsNotBytes) {
  EXPECT_EQ(Utf16Length(""), 0u);
  EXPECT_EQ(Utf16Length("abc"), 3u);
  EXPECT_EQ(Utf16Length("\xC3\xA9t\xC3\xA9"), 3u);          // été
  EXPECT_EQ(Utf16Length("\xE2\x82\xAC"), 1u);               // euro sign, 3 bytes
  EXPECT_EQ(Utf16Length("\xF0\x9F\x93\x9E"), 2u);           // telephone receiver, a surrogate pair
  EXPECT_EQ(Utf16Length("a\xFF" "b"), 3u);                  // a stray byte counts as one
  EXPECT_EQ(Utf16Length("\xE2\x82"), 2u);                   // truncated sequence: two stray bytes
}

TEST(CutToUtf16Units, NeverSplitsACharacter) {
  EXPECT_EQ(CutToUtf16Units("abcdef", 4), "abcd");
  EXPECT_EQ(CutToUtf16Units("ab", 10), "ab");
  // The pair would need units 3 and 4 of a limit of 3: it is left out whole.
  EXPECT_EQ(CutToUtf16Units("ab\xF0\x9F\x93\x9E", 3), "ab");
  EXPECT_EQ(CutToUtf16Units("ab\xF0\x9F\x93\x9E", 4), "ab\xF0\x9F\x93\x9E");
  EXPECT_EQ(CutToUtf16Units("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9");
  std::string longText(300, 'x');
  EXPECT_EQ(CutToUtf16Units(longText, kMaxTextUnits).size(), 259u);
}

TEST(CutToBytes, StopsBeforeAPartialSequence) {
  EXPECT_EQ(CutToBytes("a\xE2\x82\xAC", 3), "a");
  EXPECT_EQ(CutToBytes("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
  EXPECT_EQ(CutToBytes("abc", 0), "");
}

TEST(IsValidUtf8, RejectsOverlongSurrogatesAndStrays) {
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xF0\x9F\x93\x9E"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // UTF-16 surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\x80"));
}

TEST(SanitizeUtf8, ReplacesOnlyMalformedBytes) {
  EXPECT_EQ(SanitizeUtf8("ok \xC3\xA9"), "ok \xC3\xA9");
  EXPECT_EQ(SanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(SanitizeUtf8("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(IsValidUtf8(SanitizeUtf8("\xC0\xAF\xED\xA0\x80 x")));
}

TEST(ToUtf16Le, TwoBytesPerUnitSurrogatePairsAndReplacements) {
  const std::pair<std::string, std::string> cases[] = {
      {"A\xC3\xAB", std::string("A\0\xEB\0", 4)},
      {"\xE2\x82\xAC", std::string("\xAC\x20", 2)},
      {"\xF0\x9F\x93\x9E", std::string("\x3D\xD8\xDE\xDC", 4)},  // U+1F4DE
      {"\xF4\x8F\xBF\xBF", std::string("\xFF\xDB\xFF\xDF", 4)},  // U+10FFFF
      {"a\xFF", std::string("a\0\xFD\xFF", 4)},
      {"", ""},
  };
  for (const auto& [utf8, expected] : cases) EXPECT_EQ(ToUtf16Le(utf8), expected);
}

TEST(FormatText, AnyLength) {
  EXPECT_EQ(FormatText("%s-%.2d", std::string(600, 'x').c_str(), 7), std::string(600, 'x') + "-07");
  EXPECT_EQ(FormatText("%s", ""), "");
}

TEST(CaseFolding, AsciiOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("Via", "vIA"));
  EXPECT_FALSE(EqualsIgnoreCase("Via", "Vias"));
  EXPECT_TRUE(StartsWithIgnoreCase("Corvina Phone", "corvina"));
  EXPECT_FALSE(StartsWithIgnoreCase("Corv", "corvina"));
  EXPECT_EQ(ToLowerAscii("MaxID-\xC3\x89"), "maxid-\xC3\x89");
}

TEST(ParseLeadingLong, ReadsLeadingDigitsOnly) {
  EXPECT_EQ(ParseLeadingLong("12ab"), 12);
  EXPECT_EQ(ParseLeadingLong("ab"), 0);
  EXPECT_EQ(ParseLeadingLong("  -42"), -42);
  EXPECT_EQ(ParseLeadingLong("+7x"), 7);
  EXPECT_EQ(ParseLeadingLong(""), 0);
  EXPECT_EQ(ParseLeadingLong("99999999999999999999999"), LONG_MAX);
  EXPECT_EQ(ParseLeadingLong("-99999999999999999999999"), LONG_MIN);
}

}  // namespace
}  // namespace corvina::platform
