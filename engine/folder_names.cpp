#include "engine/folder_names.h"

#include <unordered_map>
#include <utility>

#include "base/fat_name.h"
#include "base/text.h"

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

// File systems refuse names past 255 bytes (and FAT past 255 characters);
// one such title would end the whole job when its folder cannot be made.
// Longer names are cut at a character boundary so that a duplicate's suffix
// (" [2147483647]", 13 bytes) still fits, without a blank or control
// character left at the end.
constexpr size_t kMaxFolderNameBytes = 240;

std::u16string LimitFolderNameLength(std::u16string s) {
  size_t bytes = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size();
    const size_t width = c < 0x80 ? 1 : c < 0x800 ? 2 : pair ? 4 : 3;
    if (bytes + width > kMaxFolderNameBytes) {
      s.resize(i);
      return TrimRight(s);
    }
    bytes += width;
    if (pair) ++i;
  }
  return s;
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

std::u16string MakeSD2IECName(std::u16string_view s) {
  std::u16string lower = LowerCase(s);
  for (auto& c : lower) {
    if (c == u'_' || c == u'&') c = u'-';
  }
  // One left-to-right pass over non-overlapping " - "; the result is not
  // scanned again, so "a - - b" keeps one " - ".
  std::u16string out;
  out.reserve(lower.size());
  size_t i = 0;
  while (i < lower.size()) {
    if (lower.compare(i, 3, u" - ") == 0) {
      out += u' ';
      i += 3;
    } else {
      out += lower[i++];
    }
  }
  if (out.size() > 16) out.resize(16);
  return TrimRight(out);
}

std::u16string MakeUniqueFolderName(std::u16string_view name, int32_t id, TFileNameStyle style) {
  const std::u16string suffix = IntToText(id, 5);
  if (style == fnsSD2IEC) {
    const size_t width = 16 - suffix.size();
    std::u16string out(name.substr(0, width));
    out.resize(width, u' ');
    return out + suffix;
  }
  std::u16string out(name);
  out += u" [";
  out += suffix;
  out += u']';
  return out;
}

TFolderNamer::TFolderNamer(TFileNameStyle style, bool forceUppercase1541U)
    : style_(style),
      force_uppercase_(forceUppercase1541U),
      forbidden_("[\\\\/:*?\"<>|.]", Regex::kNone),
      leading_run_("\\A([.,'$]+)", Regex::kNone) {}

std::u16string TFolderNamer::FolderName(std::u16string_view title) const {
  // Both patterns are ASCII only, so working on the UTF-8 form deletes the
  // same characters as working on the UTF-16 text.
  const std::string cleaned = leading_run_.DeleteAll(forbidden_.DeleteAll(Utf16ToUtf8(title)));
  std::u16string s = Trim(Utf8ToUtf16(cleaned));
  // Control characters U+0000..U+001F left inside the title go too: FAT file
  // systems refuse them in folder names. The trim has taken those at the ends.
  std::erase_if(s, [](char16_t c) { return c < 0x20; });
  s = ReduceToBaseChars(s);
  switch (style_) {
    case fns1541U:
      if (force_uppercase_) s = UpperCase(AsciiUpper(s));
      break;
    case fnsSD2IEC:
      s = MakeSD2IECName(s);
      break;
    case fnsNone:
      break;
  }
  return LimitFolderNameLength(s);
}

void TFolderNamer::Adjust(TArcInfo& info) const {
  info.OutFolderName = FolderName(info.Name);
  if (info.OutFolderName.empty()) {
    // Nothing of the title is left: name the folder after the game's ID, so
    // that it still gets a folder of its own, under "0" like every digit.
    info.OutFolderName = IntToText(info.UniqueID, 5);
  }
  // A title that reads like a DOS device ("Con") cannot name a folder on FAT.
  info.OutFolderName = FatName(info.OutFolderName);
  info.OutLetter = OutLetterOf(info.OutFolderName);
}

std::u16string OutLetterOf(std::u16string_view folderName) {
  if (!folderName.empty()) {
    const char16_t c = AsciiUpper(folderName[0]);
    if (c >= u'A' && c <= u'Z') return std::u16string(1, c);
  }
  return u"0";
}

void MakeFolderNamesUnique(TArchiveList& list, TFileNameStyle style, const std::function<bool()>& terminated) {
  // FAT takes names that differ only in letter case for one name, so those
  // are duplicates too, wherever they stand in the sorted list.
  std::unordered_map<std::u16string, int> uses;
  for (const TArcInfo& game : list) ++uses[FatKey(game.OutFolderName)];
  for (TArcInfo& game : list) {
    if (terminated && terminated()) return;
    if (uses[FatKey(game.OutFolderName)] > 1) {
      game.OutFolderName = MakeUniqueFolderName(game.OutFolderName, game.UniqueID, style);
    }
  }
}

}  // namespace vq
