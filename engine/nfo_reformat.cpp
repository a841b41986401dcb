#include "engine/nfo_reformat.h"

#include <algorithm>

#include "base/text.h"
#include "engine/folder_names.h"

namespace vq {

namespace {

constexpr size_t kSeparatorWidth = 37;
constexpr size_t kLabelFitLimit = 37;
constexpr size_t kContinuationWidth = 34;
constexpr std::u16string_view kContinuationIndent = u"   ";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Number of code points in valid UTF-8.
size_t CountCodePoints(std::string_view s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return !IsContinuationByte(c); }));
}

// Decodes UTF-8 into `out`, one code point per element. The working text is
// produced by Utf16ToUtf8 and is valid; a stray byte still decodes to itself.
void DecodeUtf8(std::string_view s, std::u32string& out) {
  out.clear();
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const auto b = static_cast<unsigned char>(s[i]);
    char32_t cp = b;
    size_t len = 1;
    if (b >= 0xF0) {
      cp = b & 0x07;
      len = 4;
    } else if (b >= 0xE0) {
      cp = b & 0x0F;
      len = 3;
    } else if (b >= 0xC0) {
      cp = b & 0x1F;
      len = 2;
    }
    if (len > 1 && i + len <= n) {
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    } else {
      cp = b;
      len = 1;
    }
    out += cp;
    i += len;
  }
}

// Appends code points as UTF-16.
void AppendUtf16(std::u16string& out, std::u32string_view s) {
  for (const char32_t cp : s) {
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
}

// Removes the characters up to U+0020 at both ends.
void TrimInPlace(std::u32string& s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] <= 0x20) --e;
  size_t b = 0;
  while (b < e && s[b] <= 0x20) ++b;
  s.erase(e);
  s.erase(0, b);
}

}  // namespace

void TNfoReformatter::ReformatNFO(std::u16string_view Text, std::vector<std::u16string>& Lines) const {
  const std::string S = Utf16ToUtf8(ReduceToBaseChars(Text));
  TLayout Layout{Lines, {}, 0};
  RegexMatch Match;
  size_t Pos = 0;
  while (Pos < S.size() && FRegexReformat.Search(S, Pos, Match)) {
    const auto Start = static_cast<size_t>(Match.Start());
    if (Start > Pos) AddWrappedText(Layout, S, Pos, Start - Pos, 0, false);
    const std::string_view Separator = Match.Group(S, 1);
    if (!Separator.empty()) {
      AddSeparatorLine(Layout, static_cast<char16_t>(Separator.front()));
    } else {
      std::string Label = Trim(Match.Group(S, 2));
      Label += ' ';
      const std::string_view Value = Match.Group(S, 3);
      // Characters of the label plus bytes of the value: a value with
      // characters beyond ASCII is wrapped sooner than its width requires.
      const size_t LabelLength = CountCodePoints(Label);
      if (LabelLength + Value.size() > kLabelFitLimit) {
        Lines.push_back(Utf8ToUtf16(Label));
        if (!Value.empty()) AddWrappedText(Layout, Value, 0, Value.size(), LabelLength, true);
      } else {
        Label += Value;
        Lines.push_back(Utf8ToUtf16(Label));
      }
    }
    // Every match holds at least one line-break byte, so Pos always advances.
    Pos = Start + static_cast<size_t>(Match.Length());
  }
  if (Pos < S.size()) AddWrappedText(Layout, S, Pos, S.size() - Pos, 0, false);
}

void TNfoReformatter::AddWrappedText(TLayout& Layout, std::string_view Source, size_t From, size_t Count,
                                     size_t Indent, bool Continue) {
  std::u32string& T = Layout.T;
  DecodeUtf8(Source.substr(From, Count), T);
  TrimInPlace(T);
  if (T.empty()) {
    Layout.Lines.emplace_back();
    return;
  }
  Layout.P = 0;
  if (Continue) {
    // A label has at most 22 characters, so the first piece keeps at least
    // 15; the floor of 1 only guards FindLineBreak's precondition.
    const size_t Width = Indent < kLabelFitLimit ? kLabelFitLimit - Indent : 1;
    const size_t B = FindLineBreak(Layout, Width);
    AppendUtf16(Layout.Lines.back(), std::u32string_view(T).substr(0, B));
    Layout.P = B;
  }
  while (Layout.P < T.size()) {
    while (Layout.P < T.size() && T[Layout.P] == U' ') ++Layout.P;
    if (Layout.P >= T.size()) break;
    const size_t B = FindLineBreak(Layout, kContinuationWidth);
    std::u16string Piece;
    Piece.reserve(kContinuationIndent.size() + B - Layout.P);
    if (Indent > 0) Piece = kContinuationIndent;
    AppendUtf16(Piece, std::u32string_view(T).substr(Layout.P, B - Layout.P));
    Layout.Lines.push_back(std::move(Piece));
    Layout.P = B;
  }
}

size_t TNfoReformatter::FindLineBreak(const TLayout& Layout, size_t Width) {
  const std::u32string& T = Layout.T;
  const size_t P = Layout.P;
  // The whole rest fits, with one character to spare.
  if (T.size() - P <= Width + 1) return T.size();
  // From here on P + Width + 1 lies inside T. P itself is never a break.
  for (size_t s = P + Width + 1; s > P; --s) {
    if (T[s] == U' ') return s;
  }
  for (size_t b = P + Width; b > P; --b) {
    if (T[b] == U'\\') return b + 1;
  }
  for (size_t d = P + Width; d > P; --d) {
    if (T[d] == U'.') return d + 1;
  }
  return P + Width;
}

void TNfoReformatter::AddSeparatorLine(TLayout& Layout, char16_t Char) {
  Layout.Lines.emplace_back(kSeparatorWidth, Char);
}

}  // namespace vq
