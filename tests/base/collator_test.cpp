// The list order that ignores case: the Unicode root collation.
#include "base/collator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vq {
namespace {

TEST(Collator, IgnoresCaseButNotAccentsAndReadsPunctuationFirst) {
  const TCollator c;
  EXPECT_EQ(c.Compare(u"a.d64", u"A.D64"), 0);
  EXPECT_LT(c.Compare(u"A.D64", u"b.d64"), 0);
  EXPECT_NE(c.Compare(u"e", u"\u00E9"), 0);
  EXPECT_LT(c.Compare(u"e", u"\u00E9"), 0);
  EXPECT_LT(c.Compare(u"\u00E9", u"f"), 0);      // é between e and f, not after z
  EXPECT_LT(c.Compare(u"Game_A", u"Game1"), 0);  // punctuation before digits
  EXPECT_LT(c.Compare(u"Disk 10", u"Disk 2"), 0);  // digits compare one by one, not as numbers
}

TEST(Collator, LessIsATotalOrder) {
  const TCollator c;
  EXPECT_TRUE(c.Less(u"A", u"a") != c.Less(u"a", u"A"));
  std::vector<std::u16string> names = {u"c.D64", u"b.d64", u"A.D64", u"a.d64"};
  std::sort(names.begin(), names.end(), [&](const auto& x, const auto& y) { return c.Less(x, y); });
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A.D64", u"a.d64", u"b.d64", u"c.D64"}));
}

}  // namespace
}  // namespace vq
