// Text helpers: encodings, trimming, case mapping, the name comparison,
// number parsing and file masks.
#include "base/text.h"

#include <gtest/gtest.h>

namespace vq {
namespace {

TEST(TextEncoding, Utf8AndUtf16RoundTripIncludingSupplementaryCharacters) {
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const std::u16string utf16 = u"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  EXPECT_EQ(utf16.size(), 5u);  // the emoji is two code units
}

TEST(TextEncoding, BrokenInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form of '/'
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextEncoding, Windows1252BothWays) {
  EXPECT_EQ(DecodeCp1252("\x80\x8A\x9F\xE9\x81"), u"\u20AC\u0160\u0178\u00E9\u0081");
  EXPECT_EQ(Cp1252ToUtf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(EncodeCp1252(u"Caf\u00E9 \u20AC \u0141 \U0001F600"), "Caf\xE9 \x80 ? ?");
  EXPECT_EQ(Utf8ToCp1252("\xC5\x92il"), "\x8Cil");
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(EncodeCp1252(DecodeCp1252(all)), all);  // every byte survives the round trip
}

TEST(TextTrim, RemovesEverythingUpToBlankAtTheChosenEnds) {
  EXPECT_EQ(Trim(u"\t\r\n x y \x01\x00"), u"x y");
  EXPECT_EQ(TrimLeft(u"  x "), u"x ");
  EXPECT_EQ(TrimRight(u"  x \n"), u"  x");
  EXPECT_EQ(Trim(std::string(" \x1F")), "");
  EXPECT_EQ(Trim(u"\u00A0x\u00A0"), u"\u00A0x\u00A0");  // no-break space is kept
}

TEST(TextCase, AsciiAndLocaleAwareMappingsKeepTheLength) {
  EXPECT_EQ(AsciiUpper(u"abc\u00E9"), u"ABC\u00E9");
  EXPECT_EQ(UpperCase(u"r\u00F4le \u00DF"), u"R\u00D4LE \u00DF");  // ß has no one-character upper case
  EXPECT_EQ(LowerCase(u"\u00C9T\u00C9 \u0130"), u"\u00E9t\u00E9 i");
  EXPECT_EQ(LowerCase(u"\U0001D400"), u"\U0001D400");
  EXPECT_EQ(AsciiLower("ABC-xyz"), "abc-xyz");
}

TEST(TextCompareNames, FoldsOnlyAsciiAndPutsLeadingPartsFirst) {
  EXPECT_EQ(CompareNames(u"Moonshadow", u"MoonShadow"), 0);
  EXPECT_TRUE(SameName(u"abc", u"ABC"));
  EXPECT_FALSE(SameName(u"\u00C9", u"\u00E9"));
  EXPECT_LT(CompareNames(u"Elite", u"Elite II"), 0);
  EXPECT_LT(CompareNames(u"Zork", u"_Under"), 0);  // '_' sorts after the letters
  EXPECT_LT(CompareNames(u"9 Lives", u"Alpha"), 0);
  EXPECT_GT(CompareNames(u"b", u"A"), 0);
}

TEST(TextNumbers, ParseAndFormat) {
  int32_t v = 0;
  EXPECT_TRUE(TryParseInt32("00042", v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(TryParseInt32("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(TryParseInt32("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
  EXPECT_FALSE(TryParseInt32("2147483648", v));
  EXPECT_FALSE(TryParseInt32("99999999999999999999999", v));
  EXPECT_FALSE(TryParseInt32("", v));
  EXPECT_FALSE(TryParseInt32("-", v));
  EXPECT_FALSE(TryParseInt32("12a", v));
  EXPECT_EQ(IntToText(42, 5), u"00042");
  EXPECT_EQ(IntToText(123456, 5), u"123456");
  EXPECT_EQ(IntToText(-7), u"-7");
  EXPECT_EQ(Format("%s %d", "x", 3), "x 3");
  EXPECT_EQ(Format("%s", std::string(5000, 'a').c_str()).size(), 5000u);
}

TEST(TextMasks, CaselessWildcardsWhereStarDotStarMatchesAll) {
  EXPECT_TRUE(MatchesMask("Game.d64", "*.D64"));
  EXPECT_TRUE(MatchesMask("GAME.D64", "*.d64"));
  EXPECT_FALSE(MatchesMask("Game.d641", "*.D64"));
  EXPECT_FALSE(MatchesMask("Game.t64", "*.D64"));
  EXPECT_TRUE(MatchesMask("NOEXT", "*.*"));
  EXPECT_TRUE(MatchesMask("version.nfo", "VERSION.NFO"));
  EXPECT_TRUE(MatchesMask("a.b.c", "a*c"));
  EXPECT_TRUE(MatchesMask("abc", "a?c"));
  EXPECT_FALSE(MatchesMask("ac", "a?c"));
  EXPECT_TRUE(MatchesMask("", "*"));
}

}  // namespace
}  // namespace vq
