#include "base/text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace vq {

namespace {

// Windows-1252 code points of the bytes 0x80..0x9F; the rest equal Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Cp1252ToUnit(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

char UnitToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
  char buffer[4];
  out.append(buffer, EncodeUtf8At(buffer, cp));
}

// True when the eight bytes at `p` are all ASCII.
bool IsAscii8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return (w & 0x8080808080808080u) == 0;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at s[i]; advances i. Invalid input gives U+FFFD
// and consumes one byte.
char32_t NextUtf8(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += len;
  return cp;
}

// Decodes one code point of UTF-16 at s[i]; advances i.
char32_t NextUtf16(std::u16string_view s, size_t& i) {
  const char16_t u = s[i++];
  if (u >= 0xD800 && u <= 0xDBFF) {
    if (i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i++] - 0xDC00);
    }
    return 0xFFFD;
  }
  if (u >= 0xDC00 && u <= 0xDFFF) return 0xFFFD;
  return u;
}

template <typename View>
View TrimView(View s, bool left, bool right) {
  size_t b = 0;
  size_t e = s.size();
  if (left) {
    while (b < e && static_cast<uint32_t>(s[b]) <= 0x20) ++b;
  }
  if (right) {
    while (e > b && static_cast<uint32_t>(s[e - 1]) <= 0x20) --e;
  }
  return s.substr(b, e - b);
}

template <typename Map>
std::u16string MapCase(std::u16string_view s, Map map) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    const char32_t cp = NextUtf16(s, i);
    const char32_t mapped = map(cp);
    // Keep the length in code units: a mapping that would change it is dropped.
    if ((mapped < 0x10000) == (i - start == 1)) {
      AppendUtf16(out, mapped);
    } else {
      out.append(s.substr(start, i - start));
    }
  }
  return out;
}

}  // namespace

char32_t DecodeUtf8At(std::string_view s, size_t& i) { return NextUtf8(s, i); }

char* EncodeUtf8At(char* p, char32_t cp) {
  if (cp < 0x80) {
    *p++ = static_cast<char>(cp);
    return p;
  }
  if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
  } else if (cp < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  return p;
}

void AppendUtf8AsUtf16(std::u16string& out, std::string_view s) {
  // A UTF-16 text never has more code units than its UTF-8 form has bytes.
  const size_t old = out.size();
  out.resize(old + s.size());
  char16_t* q = out.data() + old;
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    // Runs of ASCII, eight bytes at a time.
    while (i + 8 <= n && IsAscii8(s.data() + i)) {
      for (size_t k = 0; k < 8; ++k) q[k] = static_cast<unsigned char>(s[i + k]);
      q += 8;
      i += 8;
    }
    if (i >= n) break;
    const char32_t cp = NextUtf8(s, i);
    if (cp < 0x10000) {
      *q++ = static_cast<char16_t>(cp);
    } else {
      *q++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *q++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  out.resize(static_cast<size_t>(q - out.data()));
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  AppendUtf8AsUtf16(out, s);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  size_t i = 0;
  while (i < s.size()) AppendUtf8(out, NextUtf16(s, i));
  return out;
}

std::u16string DecodeCp1252(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) out[i] = Cp1252ToUnit(static_cast<unsigned char>(bytes[i]));
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      AppendUtf8(out, Cp1252ToUnit(b));
    }
  }
  return out;
}

std::string DecodeMarkedText(std::string_view bytes, bool ansiWithoutMark) {
  // Invalid sequences after the mark become U+FFFD on the way through UTF-16.
  if (bytes.starts_with("\xEF\xBB\xBF")) return Utf16ToUtf8(Utf8ToUtf16(bytes.substr(3)));
  const bool little = bytes.starts_with("\xFF\xFE");
  if (little || bytes.starts_with("\xFE\xFF")) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto b0 = static_cast<unsigned char>(bytes[i]);
      const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
      units += static_cast<char16_t>(little ? (b1 << 8 | b0) : (b0 << 8 | b1));
    }
    return Utf16ToUtf8(units);
  }
  return ansiWithoutMark ? Cp1252ToUtf8(bytes) : std::string(bytes);
}

std::string EncodeCp1252(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) out += UnitToCp1252(NextUtf16(s, i));
  return out;
}

std::string Utf8ToCp1252(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) out += UnitToCp1252(NextUtf8(s, i));
  return out;
}

std::u16string Trim(std::u16string_view s) { return std::u16string(TrimView(s, true, true)); }
std::u16string TrimLeft(std::u16string_view s) { return std::u16string(TrimView(s, true, false)); }
std::u16string TrimRight(std::u16string_view s) { return std::u16string(TrimView(s, false, true)); }
std::string Trim(std::string_view s) { return std::string(TrimView(s, true, true)); }
std::string TrimLeft(std::string_view s) { return std::string(TrimView(s, true, false)); }
std::string TrimRight(std::string_view s) { return std::string(TrimView(s, false, true)); }

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

std::u16string AsciiUpper(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = AsciiUpper(c);
  return out;
}

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (auto& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::u16string UpperCase(std::u16string_view s) {
  return MapCase(s, [](char32_t cp) { return static_cast<char32_t>(u_toupper(static_cast<UChar32>(cp))); });
}

std::u16string LowerCase(std::u16string_view s) {
  return MapCase(s, [](char32_t cp) { return static_cast<char32_t>(u_tolower(static_cast<UChar32>(cp))); });
}

std::string ClipText(std::string_view text, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // Count lead bytes only, so a cut never splits a character.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == maxChars) return std::string(text.substr(0, i)) + "...";
  }
  return std::string(text);
}

std::u16string FoldCase(std::u16string_view s) {
  return MapCase(s, [](char32_t cp) {
    if (cp < 0x80) return cp >= U'A' && cp <= U'Z' ? static_cast<char32_t>(cp + (U'a' - U'A')) : cp;
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT));
  });
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = AsciiUpper(a[i]);
    const char16_t y = AsciiUpper(b[i]);
    if (x != y) return static_cast<int>(x) - static_cast<int>(y);
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

std::u16string IntToText(int32_t value, int digits) {
  const std::string s = Format("%.*d", digits, value);
  return std::u16string(s.begin(), s.end());
}

bool TryParseInt32(std::string_view digits, int32_t& value) {
  if (digits.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (digits[0] == '-' || digits[0] == '+') {
    negative = digits[0] == '-';
    i = 1;
    if (digits.size() == 1) return false;
  }
  int64_t v = 0;
  for (; i < digits.size(); ++i) {
    const char c = digits[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return false;
  value = static_cast<int32_t>(v);
  return true;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  // Iterative wildcard match with one backtrack point.
  size_t n = 0, m = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || up(mask[m]) == up(name[n]))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      star = m++;
      mark = n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace vq
