#include "engine/folder_names.h"

#include <utility>

namespace vq {

namespace {

// Accented Latin letters and their base letters, applied in this order.
struct BaseCharRow {
  std::u16string_view from;
  std::u16string_view to;
};
constexpr BaseCharRow kBaseChars[] = {
    {u"\u0160", u"S"},
    {u"\u0161", u"s"},
    {u"\u0152", u"OE"},
    {u"\u0153", u"oe"},
    {u"\u017D", u"Z"},
    {u"\u017E", u"z"},
    {u"\u0178\u00DD", u"Y"},
    {u"\u00FD\u00FF", u"y"},
    {u"\u00C0\u00C1\u00C2\u00C3\u00C4\u00C5", u"A"},
    {u"\u00C6", u"AE"},
    {u"\u00C7", u"C"},
    {u"\u00E7", u"c"},
    {u"\u00DF", u"ss"},
    {u"\u00C8\u00C9\u00CA\u00CB", u"E"},
    {u"\u00CC\u00CD\u00CE\u00CF", u"I"},
    {u"\u00D0", u"D"},
    {u"\u00D1", u"N"},
    {u"\u00F1", u"n"},
    {u"\u00D2\u00D3\u00D4\u00D5\u00D6\u00D8", u"O"},
    {u"\u00D9\u00DA\u00DB\u00DC", u"U"},
    {u"\u00E0\u00E4\u00E1\u00E2\u00E3\u00E5", u"a"},
    {u"\u00E6", u"ae"},
    {u"\u00E8\u00E9\u00EA\u00EB", u"e"},
    {u"\u00EC\u00ED\u00EE\u00EF", u"i"},
    {u"\u00F2\u00F3\u00F5\u00F6\u00F8", u"o"},
    {u"\u00F9\u00FA\u00FB\u00FC", u"u"},
};

// The replacement of one character, or empty when it stays.
std::u16string_view BaseCharOf(char16_t c) {
  if (c < 0xC0) return {};
  for (const auto& row : kBaseChars) {
    if (row.from.find(c) != std::u16string_view::npos) return row.to;
  }
  return {};
}

}  // namespace

// No replacement text holds a character of a later row, so one pass over
// the text gives the same result as the replacements row by row.
std::u16string ReduceToBaseChars(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char16_t c : s) {
    const std::u16string_view to = BaseCharOf(c);
    if (to.empty()) {
      out += c;
    } else {
      out.append(to);
    }
  }
  return out;
}

}  // namespace vq
