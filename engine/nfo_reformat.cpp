#include "engine/nfo_reformat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "engine/folder_names.h"

namespace vq {

namespace {

constexpr size_t kSeparatorWidth = 37;
constexpr size_t kLabelFitLimit = 37;
constexpr size_t kContinuationWidth = 34;
constexpr std::u16string_view kContinuationIndent = u"   ";

// True when the four code units at `p` are all ASCII.
bool IsAscii4(const char16_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return (w & 0xFF80FF80FF80FF80u) == 0;
}

// Decodes valid UTF-8 into one element per code point.
void DecodeUtf8(std::string_view s, std::u32string& out) {
  out.clear();
  size_t i = 0;
  while (i < s.size()) out += DecodeUtf8At(s, i);
}

// Appends code points as UTF-16.
void AppendCodePoints(std::u16string& out, std::u32string_view s) {
  for (const char32_t cp : s) {
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
}

void AppendCodePoints(std::u16string& out, std::u16string_view s) { out.append(s); }

// `s` without the bytes up to 0x20 at both ends; in UTF-8 these are exactly
// the characters up to U+0020.
std::string_view TrimBlanks(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  size_t b = 0;
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  return s.substr(b, e - b);
}

// Number of code points in valid UTF-8.
size_t CountCodePoints(std::string_view s) {
  return static_cast<size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The next match of the line pattern in S at or after the line start Pos, the
// same as a search of S from Pos; End lies just past the last CR or LF of S.
// Every match lies within one line ended by CR or LF, so each such line is
// searched on its own, and only when one of its line starts may match: one
// that begins with "=" or "-", or whose first colon comes 2 to 20 characters
// (2 to 80 bytes) after it and is followed by a space. Free-text lines thus
// cost one byte scan instead of the expression's backtracking.
// Scans the line that starts at s up to its CR or LF, which it returns in e;
// true when the line pattern may match at one of the line's starts.
bool MayMatchLine(std::string_view S, size_t s, size_t& e) {
  const auto byte = [S](size_t i) { return static_cast<unsigned char>(S[i]); };
  // Other line breaks (VT, FF, NEL, LS, PS) start further lines inside this
  // one. The line starts since the last colon, from firstStart to lastStart,
  // wait for the next colon to judge them.
  bool candidate = byte(s) == '=' || byte(s) == '-';
  bool waiting = true;
  size_t firstStart = s;
  size_t lastStart = s;
  for (e = s; !candidate && byte(e) != '\r' && byte(e) != '\n'; ++e) {
    const unsigned char b = byte(e);
    // Most bytes are neither a colon nor a line break.
    if (b > ':' && b != 0xC2 && b != 0xE2) continue;
    size_t next = 0;
    if (b == ':') {
      if (waiting) candidate = firstStart + 2 <= e && lastStart + 80 >= e && byte(e + 1) == ' ';
      waiting = false;
    } else if (b == 0x0B || b == 0x0C) {
      next = e + 1;
    } else if (b == 0xC2 && byte(e + 1) == 0x85) {
      next = e + 2;
    } else if (b == 0xE2 && byte(e + 1) == 0x80 && (byte(e + 2) == 0xA8 || byte(e + 2) == 0xA9)) {
      next = e + 3;
    }
    if (next != 0) {
      candidate = byte(next) == '=' || byte(next) == '-';
      if (!waiting) firstStart = next;
      lastStart = next;
      waiting = true;
    }
  }
  while (byte(e) != '\r' && byte(e) != '\n') ++e;
  return candidate;
}

bool FindNextLine(const Regex& Pattern, std::string_view S, size_t Pos, size_t End, RegexMatch& Match) {
  size_t s = Pos;
  while (s < End) {
    // S[End - 1] is a CR or LF, so every byte the scan looks at lies before End.
    size_t e = s;
    const bool candidate = MayMatchLine(S, s, e);
    // A match takes up to two CR or LF characters.
    size_t lineEnd = e + 1;
    if (lineEnd < S.size() && (S[lineEnd] == '\r' || S[lineEnd] == '\n')) ++lineEnd;
    if (candidate && Pattern.Search(S.substr(0, lineEnd), s, Match)) return true;
    s = lineEnd;
  }
  return false;
}

// Lays out the recognised lines and free-text stretches of one NFO, appending
// to the line list. The routines share the current piece T and the position
// pos_ in T (0-based). T holds one element per character: UTF-16 code units when
// the piece lies in the Basic Multilingual Plane, else code points.
class TLayout {
 public:
  explicit TLayout(std::vector<std::u16string>& ALines) : lines_(ALines) {}

  // Appends Count bytes of the UTF-8 text Source from byte From, trimmed and
  // wrapped; with Continue the first piece extends the last line.
  void AddWrappedText(std::string_view Source, size_t From, size_t Count, size_t Indent, bool Continue) {
    const std::string_view Bytes = TrimBlanks(Source.substr(From, Count));
    if (Bytes.empty()) {
      lines_.emplace_back();
      return;
    }
    // Only a four-byte sequence lies beyond the Basic Multilingual Plane.
    if (std::none_of(Bytes.begin(), Bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xF0; })) {
      t16_.clear();
      AppendUtf8AsUtf16(t16_, Bytes);
      Wrap(t16_, Indent, Continue);
    } else {
      DecodeUtf8(Bytes, t32_);
      Wrap(t32_, Indent, Continue);
    }
  }

  // Appends a line of 37 copies of Char.
  void AddSeparatorLine(char16_t Char) { lines_.emplace_back(kSeparatorWidth, Char); }

  // Appends the line Label + " " + Value, both UTF-8.
  void AddLabelLine(std::string_view Label, std::string_view Value) {
    std::u16string Line;
    Line.reserve(Label.size() + 1 + Value.size());
    AppendUtf8AsUtf16(Line, Label);
    Line += u' ';
    AppendUtf8AsUtf16(Line, Value);
    lines_.push_back(std::move(Line));
  }

 private:
  // The layout of a trimmed, non-empty T.
  template <typename TChar>
  void Wrap(const std::basic_string<TChar>& T, size_t Indent, bool Continue) {
    pos_ = 0;
    if (Continue) {
      // A label has at most 22 characters, so the first piece keeps at least
      // 15; the floor of 1 only guards FindLineBreak's precondition.
      const size_t Width = Indent < kLabelFitLimit ? kLabelFitLimit - Indent : 1;
      const size_t B = FindLineBreak(T, Width);
      AppendCodePoints(lines_.back(), std::basic_string_view<TChar>(T).substr(0, B));
      pos_ = B;
    }
    while (pos_ < T.size()) {
      while (pos_ < T.size() && T[pos_] == ' ') ++pos_;
      if (pos_ >= T.size()) break;
      const size_t B = FindLineBreak(T, kContinuationWidth);
      std::u16string Piece;
      Piece.reserve(kContinuationIndent.size() + B - pos_);
      if (Indent > 0) Piece = kContinuationIndent;
      AppendCodePoints(Piece, std::basic_string_view<TChar>(T).substr(pos_, B - pos_));
      lines_.push_back(std::move(Piece));
      pos_ = B;
    }
  }

  // The end (exclusive) of the next piece of T from pos_: at most Width + 1
  // characters, at least one. Width is at least 1 and pos_ lies inside T.
  template <typename TChar>
  size_t FindLineBreak(const std::basic_string<TChar>& T, size_t Width) const {
    // The whole rest fits, with one character to spare.
    if (T.size() - pos_ <= Width + 1) return T.size();
    // From here on pos_ + Width + 1 lies inside T. pos_ itself is never a break.
    for (size_t s = pos_ + Width + 1; s > pos_; --s) {
      if (T[s] == ' ') return s;
    }
    for (size_t b = pos_ + Width; b > pos_; --b) {
      if (T[b] == '\\') return b + 1;
    }
    for (size_t d = pos_ + Width; d > pos_; --d) {
      if (T[d] == '.') return d + 1;
    }
    return pos_ + Width;
  }

  std::vector<std::u16string>& lines_;
  std::u16string t16_;
  std::u32string t32_;
  size_t pos_ = 0;
};

}  // namespace

TNfoReformatter::TNfoReformatter(const Regex& ARegexReformat) : FRegexReformat(ARegexReformat) {
  FBaseChars.reserve(kBaseCharsEnd - 0xC0);
  for (char16_t c = 0xC0; c < kBaseCharsEnd; ++c) FBaseChars.push_back(Utf16ToUtf8(ReduceToBaseChars({&c, 1})));
}

std::string TNfoReformatter::MakeWorkingText(std::u16string_view Text) const {
  // Room for three bytes per code unit, which holds any single code unit and
  // a surrogate pair; a longer replacement makes more room for itself.
  std::string S(Text.size() * 3, '\0');
  char* p = S.data();
  // Copies a replacement; returns the new end.
  auto putReduced = [&S](char* p, std::string_view reduced) {
    if (reduced.size() > 3) {
      const auto at = static_cast<size_t>(p - S.data());
      S.resize(S.size() + reduced.size() - 3);
      p = S.data() + at;
    }
    return std::copy(reduced.begin(), reduced.end(), p);
  };
  const size_t n = Text.size();
  for (size_t i = 0; i < n; ++i) {
    // Runs of ASCII, four characters at a time.
    while (i + 4 <= n && IsAscii4(Text.data() + i)) {
      for (size_t k = 0; k < 4; ++k) p[k] = static_cast<char>(Text[i + k]);
      p += 4;
      i += 4;
    }
    if (i >= n) break;
    const char16_t c = Text[i];
    if (c < 0xC0) {
      p = EncodeUtf8At(p, c);
    } else if (c < kBaseCharsEnd) {
      p = putReduced(p, FBaseChars[c - 0xC0]);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < n && Text[i + 1] >= 0xDC00 && Text[i + 1] <= 0xDFFF) {
        p = EncodeUtf8At(p, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (Text[++i] - 0xDC00));
      } else {
        p = EncodeUtf8At(p, 0xFFFD);
      }
    } else {
      p = putReduced(p, Utf16ToUtf8(ReduceToBaseChars({&Text[i], 1})));
    }
  }
  S.resize(static_cast<size_t>(p - S.data()));
  return S;
}

void TNfoReformatter::ReformatNFO(std::u16string_view Text, std::vector<std::u16string>& Lines) const {
  const std::string S = MakeWorkingText(Text);
  TLayout Layout(Lines);
  RegexMatch Match;
  size_t Pos = 0;
  // Every match ends in a CR or an LF, so past the last one there is none to
  // find. Stopping there also spares the expression a failing search over a
  // long tail, which costs time quadratic in its length.
  size_t End = S.size();
  while (End > 0 && S[End - 1] != '\r' && S[End - 1] != '\n') --End;
  while (Pos < End && FindNextLine(FRegexReformat, S, Pos, End, Match)) {
    const auto Start = static_cast<size_t>(Match.Start());
    if (Start > Pos) Layout.AddWrappedText(S, Pos, Start - Pos, 0, false);
    const std::string_view Separator = Match.Group(S, 1);
    if (!Separator.empty()) {
      Layout.AddSeparatorLine(static_cast<char16_t>(Separator.front()));
    } else {
      const std::string_view LabelText = TrimBlanks(Match.Group(S, 2));
      const std::string_view Value = Match.Group(S, 3);
      // Characters of the label and its space plus bytes of the value: a
      // value with characters beyond ASCII is wrapped sooner than its width
      // requires.
      const size_t LabelLength = CountCodePoints(LabelText) + 1;
      if (LabelLength + Value.size() > kLabelFitLimit) {
        Layout.AddLabelLine(LabelText, {});
        if (!Value.empty()) Layout.AddWrappedText(Value, 0, Value.size(), LabelLength, true);
      } else {
        // The value as it stands, trailing blanks included.
        Layout.AddLabelLine(LabelText, Value);
      }
    }
    // Every match holds at least one line-break byte, so Pos always advances.
    Pos = Start + static_cast<size_t>(Match.Length());
  }
  if (Pos < S.size()) Layout.AddWrappedText(S, Pos, S.size() - Pos, 0, false);
}

}  // namespace vq
