// The PCRE wrapper: options, successive matches with groups, deletion.
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

TEST(Regex, BadPatternRaisesWithThePattern) {
  try {
    Regex r("(unclosed", Regex::kNone);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("(unclosed"), std::string::npos);
  }
}

}  // namespace
}  // namespace vq
