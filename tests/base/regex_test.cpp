// The PCRE wrapper (on PCRE or PCRE2): options, line ends, caseless UTF-8,
// successive matches with groups, deletion, errors.
#include "base/regex.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace vq {
namespace {

constexpr unsigned kNfoOptions = Regex::kUtf8 | Regex::kNewlineAny | Regex::kCaseless | Regex::kMultiline;

TEST(Regex, CaselessMultilineWithAnyNewline) {
  const Regex name("^Name:\\s*([^\\r\\n]+)$", kNfoOptions);
  RegexMatch m;
  const std::string text = "Title: x\r\nname:   Boulder Dash\r\nOther: y";
  ASSERT_TRUE(name.Search(text, m));
  EXPECT_EQ(m.Group(text, 1), "Boulder Dash");
  // A lone CR and NEL end lines too.
  const std::string cr = "x\rName: A\rmore";
  ASSERT_TRUE(name.Search(cr, m));
  EXPECT_EQ(m.Group(cr, 1), "A");
  const std::string nel = "x\xC2\x85Name: B\xC2\x85" "more";
  ASSERT_TRUE(name.Search(nel, m));
  EXPECT_EQ(m.Group(nel, 1), "B\xC2\x85more");  // the class excludes only CR and LF
}

TEST(Regex, WithoutMultilineCaretMatchesOnlyAtTheStart) {
  const Regex r("^b", Regex::kNone);
  RegexMatch m;
  EXPECT_FALSE(r.Search("a\nb", m));
  const Regex ml("^b", Regex::kMultiline);
  EXPECT_TRUE(ml.Search("a\nb", m));
  EXPECT_EQ(m.Start(), 2);
}

TEST(Regex, SuccessiveMatchesFromAnOffsetWithUnsetGroups) {
  const Regex r("(a)|(b)", Regex::kNone);
  const std::string s = "xbxa";
  RegexMatch m;
  ASSERT_TRUE(r.Search(s, 0, m));
  EXPECT_EQ(m.Start(), 1);
  EXPECT_EQ(m.GroupStart(1), -1);
  EXPECT_EQ(m.Group(s, 1), "");
  EXPECT_EQ(m.Group(s, 2), "b");
  ASSERT_TRUE(r.Search(s, m.Start() + m.Length(), m));
  EXPECT_EQ(m.Start(), 3);
  EXPECT_EQ(m.Group(s, 1), "a");
  EXPECT_FALSE(r.Search(s, 4, m));
  EXPECT_FALSE(r.Search(s, 99, m));
}

TEST(Regex, Utf8ClassesCountCharacters) {
  const Regex r("^.{3}$", Regex::kUtf8);
  RegexMatch m;
  EXPECT_TRUE(r.Search("\xC3\xA9\xC3\xA9\xC3\xA9", m));  // three characters, six bytes
  EXPECT_EQ(m.Length(), 6);
}

TEST(Regex, DeleteAllRemovesEveryMatch) {
  const Regex forbidden("[\\\\/:*?\"<>|.]", Regex::kNone);
  EXPECT_EQ(forbidden.DeleteAll("Boulder Dash: Construction Kit."), "Boulder Dash Construction Kit");
  const Regex leading("\\A([.,'$]+)", Regex::kNone);
  EXPECT_EQ(leading.DeleteAll("$$x$y"), "x$y");
  const Regex empty("x*", Regex::kUtf8);
  EXPECT_EQ(empty.DeleteAll("axx\xC3\xA9xb"), "a\xC3\xA9" "b");  // empty matches step over whole characters
}

// Matches that depend on the library's option handling rather than on the
// pattern: both PCRE builds must give these results.
struct MatchCase {
  const char* what;
  const char* pattern;
  unsigned options;
  std::string subject;
  int start;  // -1: no match
  int length;
};

TEST(Regex, LineEndsAndCaselessUtf8) {
  constexpr unsigned kLines = Regex::kMultiline | Regex::kNewlineAny;
  constexpr unsigned kUtf8Lines = kLines | Regex::kUtf8;
  const MatchCase cases[] = {
      {"CR ends a line", "^x$", kLines, "a\rx\rb", 2, 1},
      {"LF ends a line", "^x$", kLines, "a\nx\nb", 2, 1},
      {"CRLF is one line end", "^x$", kLines, "a\r\nx\r\nb", 3, 1},
      {"VT ends a line", "^x$", kLines, "a\vx\vb", 2, 1},
      {"FF ends a line", "^x$", kLines, "a\fx\fb", 2, 1},
      {"NEL ends a line", "^x$", kUtf8Lines, "a\xC2\x85x\xC2\x85" "b", 3, 1},
      {"LS ends a line", "^x$", kUtf8Lines, "a\xE2\x80\xA8x\xE2\x80\xA8" "b", 4, 1},
      {"PS ends a line", "^x$", kUtf8Lines, "a\xE2\x80\xA9x\xE2\x80\xA9" "b", 4, 1},
      {"no line starts between CR and LF", "^\\s*b", kLines, "a\r\n  b", 3, 3},
      {"$ before a final CRLF", "x$", Regex::kNewlineAny, "ax\r\n", 1, 1},
      {"$ not before a CR by default", "x$", Regex::kMultiline, "ax\rb", -1, 0},
      {"the dot stops at LS", "a.b", kUtf8Lines, "a\xE2\x80\xA8" "b", -1, 0},
      {"the dot takes LS as a character", "a.b", Regex::kUtf8, "a\xE2\x80\xA8" "b", 0, 5},
      {"caseless accented capital", "\xC3\x89t\xC3\xA9", Regex::kUtf8 | Regex::kCaseless, "l'\xC3\xA9T\xC3\x89", 2, 5},
      {"caseless class range", "^[\xC3\xA0-\xC3\xBE]+$", Regex::kUtf8 | Regex::kCaseless, "\xC3\x84\xC3\x96\xC3\xA4", 0, 6},
      {"caseless Greek sigmas", "\xCE\xA3+", Regex::kUtf8 | Regex::kCaseless, "\xCF\x83\xCF\x82", 0, 4},
      {"case counts without caseless", "\xC3\x89", Regex::kUtf8, "\xC3\xA9", -1, 0},
      {"bytes without UTF-8 mode", "\xC3\x89", Regex::kCaseless, "\xC3\xA9", -1, 0},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Regex r(c.pattern, c.options);
    RegexMatch m;
    EXPECT_EQ(r.Search(c.subject, m), c.start >= 0);
    EXPECT_EQ(m.Start(), c.start);
    EXPECT_EQ(m.Length(), c.length);
  }
}

TEST(Regex, BadPatternRaisesWithThePattern) {
  try {
    Regex r("(unclosed", Regex::kNone);
    FAIL() << "no error";
  } catch (const Error& e) {
    // The cause between the two is the library's own text.
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("regex '(unclosed': ", 0), 0u) << text;
    EXPECT_TRUE(text.ends_with(" at offset 9")) << text;
  }
}

}  // namespace
}  // namespace vq
