#include "engine/nfo_reformat.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/folder_names.h"

namespace vq {
namespace {

using Lines = std::vector<std::string>;

// Characters (code points) of a UTF-16 line.
size_t Width(std::u16string_view line) {
  size_t n = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] >= 0xD800 && line[i] <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 &&
        line[i + 1] <= 0xDFFF) {
      ++i;
    }
    ++n;
  }
  return n;
}

class NfoReformatFixture : public ::testing::Test {
 protected:
  // Reformats UTF-8 `text` and returns the new lines as UTF-8.
  Lines Reformat(const std::string& text) {
    std::vector<std::u16string> out;
    reformatter_.ReformatNFO(Utf8ToUtf16(text), out);
    Lines result;
    for (const auto& line : out) result.push_back(Utf16ToUtf8(line));
    return result;
  }
  std::vector<std::u16string> Reformat16(std::u16string_view text) {
    std::vector<std::u16string> out;
    reformatter_.ReformatNFO(text, out);
    return out;
  }

  Regex regex_{kReformatPattern, kReformatOptions};
  TNfoReformatter reformatter_{regex_};
};

using NfoReformatExample = NfoReformatFixture;
using NfoReformatLabels = NfoReformatFixture;
using NfoReformatBreaks = NfoReformatFixture;
using NfoReformatSeparators = NfoReformatFixture;
using NfoReformatStretches = NfoReformatFixture;
using NfoReformatLineEnds = NfoReformatFixture;
using NfoReformatCharacters = NfoReformatFixture;
using NfoReformatRobustness = NfoReformatFixture;
using NfoReformatProperty = NfoReformatFixture;

// ---------------------------------------------------------------------------

TEST_F(NfoReformatExample, QuartzTunnelComesOutLineForLine) {
  const std::string text =
      "Name:       Quartz Tunnel\r\n"
      "Published:  1985 Nowhere Soft\r\n"
      "------------\r\n"
      "\r\n"
      "Comment:    Fly the runner through six sectors of the blockade and reach the home base.\r\n"
      "Notes:      \\TAPES\\A-F\\quartz_tunnel_with_long_name.t64\r\n"
      "Free text line without any label that runs past the width.\r\n";
  std::vector<std::u16string> out{u"Quartz Tunnel"};
  reformatter_.ReformatNFO(Utf8ToUtf16(text), out);
  const std::vector<std::u16string> expected{
      u"Quartz Tunnel",
      u"Name: Quartz Tunnel",
      u"Published: 1985 Nowhere Soft",
      std::u16string(37, u'-'),
      u"",
      u"Comment: Fly the runner through six",
      u"   sectors of the blockade and reach",
      u"   the home base.",
      u"Notes: \\TAPES\\A-F\\",
      u"   quartz_tunnel_with_long_name.t64",
      u"Free text line without any label",
      u"that runs past the width.",
  };
  EXPECT_EQ(out, expected);
  const std::vector<size_t> lengths{13, 19, 28, 37, 0, 35, 36, 17, 18, 35, 32, 25};
  ASSERT_EQ(out.size(), lengths.size());
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i].size(), lengths[i]) << "line " << i + 1;
}

// ---------------------------------------------------------------------------

TEST_F(NfoReformatLabels, LabelIsTrimmedAndJoinedByOneSpace) {
  EXPECT_EQ(Reformat("Name: Foo\r\n"), (Lines{"Name: Foo"}));
  EXPECT_EQ(Reformat("   Name:    Foo\r\n"), (Lines{"Name: Foo"}));
  EXPECT_EQ(Reformat("\tName:    Foo\r\n"), (Lines{"Name: Foo"}));
  // Trailing blanks of a value that fits stay.
  EXPECT_EQ(Reformat("Name: Foo   \r\n"), (Lines{"Name: Foo   "}));
  // An empty value keeps the label's space.
  EXPECT_EQ(Reformat("Comment: \r\n"), (Lines{"Comment: "}));
}

TEST_F(NfoReformatLabels, LinesThatAreNotLabelsStayFreeText) {
  EXPECT_EQ(Reformat("Name:Foo\r\n"), (Lines{"Name:Foo"}));
  EXPECT_EQ(Reformat("Comment:\r\n"), (Lines{"Comment:"}));
  EXPECT_EQ(Reformat("N:   Foo\r\n"), (Lines{"N:   Foo"}));
  // 20 characters before the colon is a label, 21 is not.
  EXPECT_EQ(Reformat("ABCDEFGHIJKLMNOPQRST:   x\r\n"), (Lines{"ABCDEFGHIJKLMNOPQRST: x"}));
  EXPECT_EQ(Reformat("ABCDEFGHIJKLMNOPQRSTU:   x\r\n"), (Lines{"ABCDEFGHIJKLMNOPQRSTU:   x"}));
  // Two characters are enough.
  EXPECT_EQ(Reformat("Ab:   x\r\n"), (Lines{"Ab: x"}));
}

TEST_F(NfoReformatLabels, FitTestCountsValueBytes) {
  // 6 + 31 characters fit exactly; the trailing blanks stay.
  const std::string blanks(27, ' ');
  EXPECT_EQ(Reformat("Name: Role" + blanks + "\r\n"), (Lines{"Name: Role" + blanks}));
  // The same width with an o-circumflex is 38 bytes: the value is wrapped,
  // which trims it.
  EXPECT_EQ(Reformat("Name: R\xC3\xB4le" + blanks + "\r\n"), (Lines{"Name: R\xC3\xB4le"}));
  // Accented letters are reduced first: "Déjà" counts as four bytes.
  EXPECT_EQ(Reformat("Name: D\xC3\xA9j\xC3\xA0 Vu" + std::string(23, ' ') + "\r\n"),
            (Lines{"Name: Deja Vu" + std::string(23, ' ')}));
}

TEST_F(NfoReformatLabels, BlankValueOverTheLimitGivesLabelThenEmptyLine) {
  // The spaces after the colon belong to the label; the tab starts the value.
  EXPECT_EQ(Reformat("Comment: \t" + std::string(30, ' ') + "\r\n"), (Lines{"Comment: ", ""}));
}

TEST_F(NfoReformatLabels, LongWordFillsTheFirstPiece) {
  const std::string word = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";  // 40 characters
  const Lines out = Reformat("Comment: " + word + "\r\n");
  ASSERT_EQ(out, (Lines{"Comment: " + word.substr(0, 28), "   " + word.substr(28)}));
  EXPECT_EQ(out[0].size(), 37u);
}

TEST_F(NfoReformatLabels, FirstWordLongerThanItsPieceBreaksInside) {
  // Width 30 after "Notes: ": the last backslash within reach wins over a later period.
  EXPECT_EQ(Reformat("Notes: aaaa\\bbbb\\cccccccc.dddddddddddddddddddddd\r\n"),
            (Lines{"Notes: aaaa\\bbbb\\", "   cccccccc.dddddddddddddddddddddd"}));
  // No backslash: after the last period within reach.
  EXPECT_EQ(Reformat("Notes: aaaa.bbbb.cccccccccccccccccccccccccccccc\r\n"),
            (Lines{"Notes: aaaa.bbbb.", "   cccccccccccccccccccccccccccccc"}));
  // Neither: a hard cut of exactly the width.
  EXPECT_EQ(Reformat("Notes: " + std::string(45, 'x') + "\r\n"),
            (Lines{"Notes: " + std::string(30, 'x'), "   " + std::string(15, 'x')}));
}

TEST_F(NfoReformatLabels, ContinuationIndentIsThreeSpacesForAnyLabel) {
  const std::string words = "one two three four five six seven eight nine ten eleven twelve thirteen";
  for (const std::string label : {"Ab: ", "Published: ", "ABCDEFGHIJKLMNOPQRST: "}) {
    const Lines out = Reformat(label + words + "\r\n");
    ASSERT_GE(out.size(), 2u) << label;
    EXPECT_EQ(out[0].rfind(label, 0), 0u) << label;
    for (size_t i = 1; i < out.size(); ++i) {
      EXPECT_EQ(out[i].substr(0, 3), "   ") << label;
      EXPECT_NE(out[i][3], ' ') << label;
    }
  }
}

// ---------------------------------------------------------------------------

TEST_F(NfoReformatBreaks, SpaceRightAfterTheWidthGivesTheWiderLine) {
  // The space at P + Width + 1 is the last break point: a 35-character piece.
  EXPECT_EQ(Reformat(std::string(35, 'A') + " B"), (Lines{std::string(35, 'A'), "B"}));
  // One further on it is out of reach: a hard cut of 34.
  EXPECT_EQ(Reformat(std::string(36, 'A') + " B"), (Lines{std::string(34, 'A'), "AA B"}));
}

TEST_F(NfoReformatBreaks, BackslashAndPeriodOnlyWithinTheWidth) {
  EXPECT_EQ(Reformat(std::string(33, 'A') + "\\BBBB"), (Lines{std::string(33, 'A') + "\\", "BBBB"}));
  EXPECT_EQ(Reformat(std::string(34, 'A') + "\\BBBBB"), (Lines{std::string(34, 'A') + "\\", "BBBBB"}));
  EXPECT_EQ(Reformat(std::string(35, 'A') + "\\BBBB"), (Lines{std::string(34, 'A'), "A\\BBBB"}));
  EXPECT_EQ(Reformat(std::string(34, 'A') + ".BBBBB"), (Lines{std::string(34, 'A') + ".", "BBBBB"}));
  EXPECT_EQ(Reformat(std::string(35, 'A') + ".BBBB"), (Lines{std::string(34, 'A'), "A.BBBB"}));
}

TEST_F(NfoReformatBreaks, FirstCharacterOfAPieceIsNeverABreak) {
  EXPECT_EQ(Reformat("\\" + std::string(40, 'A')), (Lines{"\\" + std::string(33, 'A'), std::string(7, 'A')}));
  EXPECT_EQ(Reformat("." + std::string(40, 'A')), (Lines{"." + std::string(33, 'A'), std::string(7, 'A')}));
}

TEST_F(NfoReformatBreaks, OnlySpacesAreSkippedAtAPieceStart) {
  EXPECT_EQ(Reformat(std::string(34, 'A') + " \tBBBB"), (Lines{std::string(34, 'A'), "\tBBBB"}));
  EXPECT_EQ(Reformat("Comment: " + std::string(28, 'A') + " \tBBBB\r\n"),
            (Lines{"Comment: " + std::string(28, 'A'), "   \tBBBB"}));
}

TEST_F(NfoReformatBreaks, LongWordAsFreeTextIsCutAt34) {
  EXPECT_EQ(Reformat(std::string(40, 'W') + "\r\n"), (Lines{std::string(34, 'W'), std::string(6, 'W')}));
}

TEST_F(NfoReformatBreaks, PieceEndsBeforeTheLastSpaceAndTheNextSkipsTheRun) {
  EXPECT_EQ(Reformat(std::string(30, 'A') + "     " + std::string(10, 'B')),
            (Lines{std::string(30, 'A') + "    ", std::string(10, 'B')}));
}

TEST_F(NfoReformatBreaks, WidthCountsCharactersNotBytes) {
  // 35 o-circumflexes (70 bytes) and a word fit on one line, as in a 35-character ASCII line.
  std::string wide;
  for (int i = 0; i < 35; ++i) wide += "\xC3\xB4";
  EXPECT_EQ(Reformat(wide + " B"), (Lines{wide, "B"}));
}

// ---------------------------------------------------------------------------

TEST_F(NfoReformatSeparators, SeparatorBecomes37OfItsFirstCharacter) {
  EXPECT_EQ(Reformat("====\r\n"), (Lines{std::string(37, '=')}));
  EXPECT_EQ(Reformat("-=-=\r\n"), (Lines{std::string(37, '-')}));
  EXPECT_EQ(Reformat("=\n"), (Lines{std::string(37, '=')}));
  EXPECT_EQ(Reformat(std::string(80, '=') + "\r\n"), (Lines{std::string(37, '=')}));
}

TEST_F(NfoReformatSeparators, SeparatorWithOtherCharactersIsFreeText) {
  EXPECT_EQ(Reformat("==== x\r\n"), (Lines{"==== x"}));
  EXPECT_EQ(Reformat(" ====\r\n"), (Lines{"===="}));
  // Without a line break after it, the last line is free text.
  EXPECT_EQ(Reformat("Name: A\r\n===="), (Lines{"Name: A", "===="}));
}

// ---------------------------------------------------------------------------

TEST_F(NfoReformatStretches, BlankLinesBetweenRecognisedLinesGiveOneEmptyLine) {
  EXPECT_EQ(Reformat("Name: A\r\n\r\nYear: 1985\r\n"), (Lines{"Name: A", "", "Year: 1985"}));
  EXPECT_EQ(Reformat("Name: A\r\n\r\n\r\n\r\nYear: 1985\r\n"), (Lines{"Name: A", "", "Year: 1985"}));
}

TEST_F(NfoReformatStretches, BlankLinesNextToFreeTextVanish) {
  EXPECT_EQ(Reformat("Some text\r\n\r\nName: Foo\r\n"), (Lines{"Some text", "Name: Foo"}));
  EXPECT_EQ(Reformat("Name: Foo\r\n\r\n\r\nSome text\r\n\r\n"), (Lines{"Name: Foo", "Some text"}));
}

TEST_F(NfoReformatStretches, UnrecognisedLinesInARowAreOneStretch) {
  // The CR LF inside stays and counts toward the width; it is no break point.
  const std::string a(20, 'a');
  const std::string b(20, 'b');
  EXPECT_EQ(Reformat("ab\r\ncd\r\n"), (Lines{"ab\r\ncd"}));
  EXPECT_EQ(Reformat(a + "\r\n" + b + "\r\n"), (Lines{a + "\r\n" + b.substr(0, 12), b.substr(12)}));
}

TEST_F(NfoReformatStretches, LastLineWithoutLineBreakIsFreeText) {
  EXPECT_EQ(Reformat("Name: A\r\nName:   Foo"), (Lines{"Name: A", "Name:   Foo"}));
}

TEST_F(NfoReformatStretches, EmptyAndTinyTexts) {
  EXPECT_EQ(Reformat(""), Lines{});
  EXPECT_EQ(Reformat("x"), (Lines{"x"}));
  EXPECT_EQ(Reformat("\r"), (Lines{""}));
  EXPECT_EQ(Reformat("   "), (Lines{""}));
  EXPECT_EQ(Reformat("Name: A\r\nx"), (Lines{"Name: A", "x"}));
  EXPECT_EQ(Reformat("Name: A\r\n\r"), (Lines{"Name: A", ""}));
}

TEST_F(NfoReformatStretches, AppendsWithoutTouchingEarlierLines) {
  std::vector<std::u16string> out{u"Folder", u"Other"};
  reformatter_.ReformatNFO(u"Name: A\r\nComment: " + std::u16string(40, u'x') + u"\r\n", out);
  EXPECT_EQ(out, (std::vector<std::u16string>{u"Folder", u"Other", u"Name: A",
                                              u"Comment: " + std::u16string(28, u'x'),
                                              u"   " + std::u16string(12, u'x')}));
}

// ---------------------------------------------------------------------------

TEST_F(NfoReformatLineEnds, BareLineFeedsSwallowTheFirstBlankLine) {
  EXPECT_EQ(Reformat("Name: A\n\nYear: 1985\n"), (Lines{"Name: A", "Year: 1985"}));
  EXPECT_EQ(Reformat("Name: A\n\n\nYear: 1985\n"), (Lines{"Name: A", "", "Year: 1985"}));
  EXPECT_EQ(Reformat("Name: A\r\rYear: 1985\r"), (Lines{"Name: A", "Year: 1985"}));
}

TEST_F(NfoReformatLineEnds, OtherLineBreaksStartLines) {
  // The colon keeps the first part from being a label; the next line starts after the break.
  EXPECT_EQ(Reformat("a:b\vName: Foo\r\n"), (Lines{"a:b", "Name: Foo"}));
  EXPECT_EQ(Reformat("x:y\f====\r\n"), (Lines{"x:y", std::string(37, '=')}));
  // NEL, LS and PS start lines too, but are not trimmed away.
  EXPECT_EQ(Reformat("a:b\xC2\x85Name: Foo\r\n"), (Lines{"a:b\xC2\x85", "Name: Foo"}));
  EXPECT_EQ(Reformat("a:b\xE2\x80\xA8Name: Foo\r\n"), (Lines{"a:b\xE2\x80\xA8", "Name: Foo"}));
  EXPECT_EQ(Reformat("a:b\xE2\x80\xA9Name: Foo\r\n"), (Lines{"a:b\xE2\x80\xA9", "Name: Foo"}));
}

TEST_F(NfoReformatLineEnds, OnlyCarriageReturnAndLineFeedEndALabelLine) {
  // The value runs over a vertical tab up to the CR LF.
  EXPECT_EQ(Reformat("Name: A\vB\r\n"), (Lines{"Name: A\vB"}));
  // Ended by a vertical tab alone, the line is no label.
  EXPECT_EQ(Reformat("Name:   A\v"), (Lines{"Name:   A"}));
  // Labels after the last CR or LF, split by other breaks, are all free text.
  EXPECT_EQ(Reformat("Name: A\r\nYear:  1985\vGenre:  Action\fx"),
            (Lines{"Name: A", "Year:  1985\vGenre:  Action\fx"}));
}

// ---------------------------------------------------------------------------

TEST_F(NfoReformatCharacters, EveryCharacterComesThroughReducedOrUnchanged) {
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::u16string one(1, static_cast<char16_t>(c));
    const auto out = Reformat16(u"a" + one + u"b");
    ASSERT_EQ(out, (std::vector<std::u16string>{u"a" + ReduceToBaseChars(one) + u"b"})) << std::hex << static_cast<uint32_t>(c);
  }
  EXPECT_EQ(Reformat16(u"\u0152uvre \u0178 \u00C6 \u00DF"), (std::vector<std::u16string>{u"OEuvre Y AE ss"}));
  EXPECT_EQ(Reformat16(u"x \U0001F600 y"), (std::vector<std::u16string>{u"x \U0001F600 y"}));
}

TEST_F(NfoReformatRobustness, VeryLongWordIsCutIntoEqualPieces) {
  const auto out = Reformat16(std::u16string(10000, u'x'));
  ASSERT_EQ(out.size(), 295u);  // 294 pieces of 34 and one of 4
  for (size_t i = 0; i + 1 < out.size(); ++i) ASSERT_EQ(out[i].size(), 34u);
  EXPECT_EQ(out.back().size(), 4u);
}

TEST_F(NfoReformatRobustness, LabelOutsideTheBasicPlaneKeepsTheLimits) {
  // 20 emoji are 20 characters but 40 UTF-16 units; the first piece still gets 15 characters.
  std::string label;
  for (int i = 0; i < 20; ++i) label += "\xF0\x9F\x98\x80";
  const auto out = Reformat16(Utf8ToUtf16(label + ": " + std::string(60, 'v') + "\r\n"));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(Width(out[0]), 37u);
  EXPECT_EQ(out[0].substr(out[0].size() - 15), std::u16string(15, u'v'));
  EXPECT_EQ(out[1], u"   " + std::u16string(34, u'v'));
  EXPECT_EQ(out[2], u"   " + std::u16string(11, u'v'));
}

TEST_F(NfoReformatRobustness, OddCharactersNeitherCrashNorStall) {
  const std::u16string unpaired{u'a', 0xD800, u'b', 0xDC00, u'\r', u'\n'};
  EXPECT_EQ(Reformat16(unpaired), (std::vector<std::u16string>{u"a\uFFFDb\uFFFD"}));
  const std::u16string nuls(std::u16string(50, u'\0') + u"x" + std::u16string(50, u'\0'));
  EXPECT_EQ(Reformat16(nuls), (std::vector<std::u16string>{u"x"}));
  EXPECT_EQ(Reformat16(std::u16string(5000, u'\r')), (std::vector<std::u16string>{u""}));
  EXPECT_EQ(Reformat16(std::u16string(5000, u' ')), (std::vector<std::u16string>{u""}));
}

// ---------------------------------------------------------------------------

// A random NFO-like text built from the characters that steer the layout.
std::u16string RandomText(std::mt19937& rng, bool withSeparators) {
  static const std::u16string pieces[] = {
      u"a",     u"b",  u"Z",      u"7",      u" ",      u" ",      u"  ",     u":",      u": ",
      u"\\",    u".",  u"\r\n",   u"\n",     u"\r",     u"\v",     u"\f",     u"\t",     u"\u0085",
      u"\u2028", u"\u2029", u"\u00E9", u"\u00F4", u"\u20AC", u"\u00C6", u"\U0001F600", u"Name: ",
      u"Comment:    ", u"Notes: \\A\\B\\", u"wordwordwordwordwordwordwordwordwordword", u"ab:", u"::",
      u"\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4\u00F4: ",
      u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600: ",
      std::u16string(1, u'\0')};
  const size_t count = sizeof pieces / sizeof pieces[0];
  std::uniform_int_distribution<size_t> pick(0, count - 1);
  std::uniform_int_distribution<int> length(0, 400);
  std::uniform_int_distribution<int> chance(0, 39);
  std::u16string text;
  const int n = length(rng);
  for (int i = 0; i < n; ++i) {
    if (withSeparators && chance(rng) == 0) {
      text += u"\r\n====";
      text += chance(rng) < 20 ? u"-" : u"";
    }
    text += pieces[pick(rng)];
  }
  return text;
}

// Characters above U+0020, in order.
std::u16string Visible(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) {
    if (c > 0x20) out += c;
  }
  return out;
}

std::u32string ToCodePoints(std::u16string_view s) {
  std::u32string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      out += static_cast<char32_t>(0x10000 + ((static_cast<char32_t>(s[i]) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::u16string ToUtf16(std::u32string_view s) {
  std::u16string out;
  for (char32_t c : s) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

// The layout rules transcribed plainly, 1-based as they are stated, with one
// search of the whole text from each position: the oracle for the
// reformatter's faster search and conversions.
std::vector<std::u16string> ReferenceReformat(const Regex& regex, std::u16string_view text) {
  const std::string S = Utf16ToUtf8(ReduceToBaseChars(text));
  std::vector<std::u16string> lines;
  auto addWrapped = [&lines](std::string_view source, size_t indent, bool cont) {
    const std::u32string T = ToCodePoints(Trim(Utf8ToUtf16(source)));
    if (T.empty()) {
      lines.emplace_back();
      return;
    }
    size_t P = 1;
    auto findBreak = [&T, &P](size_t width) -> size_t {
      if (T.size() - P + 1 <= width + 1) return T.size() + 1;
      for (size_t i = P + width + 1; i >= P + 1; --i) {
        if (T[i - 1] == U' ') return i;
      }
      for (size_t i = P + width; i >= P + 1; --i) {
        if (T[i - 1] == U'\\') return i + 1;
      }
      for (size_t i = P + width; i >= P + 1; --i) {
        if (T[i - 1] == U'.') return i + 1;
      }
      return P + width;
    };
    if (cont) {
      const size_t B = findBreak(37 - indent);
      lines.back() += ToUtf16(T.substr(0, B - 1));
      P = B;
    }
    while (P <= T.size()) {
      while (P <= T.size() && T[P - 1] == U' ') ++P;
      if (P > T.size()) break;
      const size_t B = findBreak(34);
      lines.push_back((indent > 0 ? u"   " : u"") + ToUtf16(T.substr(P - 1, B - P)));
      P = B;
    }
  };
  size_t pos = 0;
  RegexMatch m;
  while (pos < S.size() && regex.Search(S, pos, m)) {
    const auto start = static_cast<size_t>(m.Start());
    if (start > pos) addWrapped(std::string_view(S).substr(pos, start - pos), 0, false);
    if (m.GroupLength(1) > 0) {
      lines.emplace_back(37, static_cast<char16_t>(S[static_cast<size_t>(m.GroupStart(1))]));
    } else {
      const std::u16string label = Trim(Utf8ToUtf16(m.Group(S, 2))) + u" ";
      const std::string_view value = m.Group(S, 3);
      const size_t labelLength = ToCodePoints(label).size();
      if (labelLength + value.size() > 37) {
        lines.push_back(label);
        if (!value.empty()) addWrapped(value, labelLength, true);
      } else {
        lines.push_back(label + Utf8ToUtf16(value));
      }
    }
    pos = start + static_cast<size_t>(m.Length());
  }
  if (pos < S.size()) addWrapped(std::string_view(S).substr(pos), 0, false);
  return lines;
}

TEST_F(NfoReformatProperty, RandomTextsMatchThePlainTranscription) {
  std::mt19937 rng(1982);
  for (int round = 0; round < 3000; ++round) {
    const std::u16string text = RandomText(rng, round % 3 == 0);
    std::vector<std::u16string> out;
    reformatter_.ReformatNFO(text, out);
    ASSERT_EQ(out, ReferenceReformat(regex_, text)) << "round " << round << ": " << Utf16ToUtf8(text);
  }
}

TEST_F(NfoReformatProperty, RandomTextsKeepTheWidthLimits) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    const std::u16string text = RandomText(rng, round % 2 == 0);
    std::vector<std::u16string> out{u"folder name that is not bound by the width limit"};
    reformatter_.ReformatNFO(text, out);
    ASSERT_EQ(out[0], u"folder name that is not bound by the width limit");
    ASSERT_LE(out.size(), text.size() + 1) << round;
    for (size_t i = 1; i < out.size(); ++i) {
      ASSERT_LE(Width(out[i]), 38u) << "round " << round << " line " << i << ": " << Utf16ToUtf8(out[i]);
    }
    // Without separators nothing but blanks is added, dropped or moved.
    if (text.find_first_of(u"=-") == std::u16string::npos) {
      std::u16string joined;
      for (size_t i = 1; i < out.size(); ++i) joined += out[i];
      ASSERT_EQ(Visible(joined), Visible(ReduceToBaseChars(text))) << round;
    }
  }
}

}  // namespace
}  // namespace vq
