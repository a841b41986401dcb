#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text helpers shared by every library.
//
// Texts that the job shows, compares or measures are UTF-16 (std::u16string):
// lengths, positions and comparisons count UTF-16 code units. Paths and status
// texts travel as UTF-8 (std::string). The single-byte "ANSI" code page is
// Windows-1252.
namespace vq {

// UTF-8 to UTF-16. Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);
// Appends UTF-8 `s` to `out` as UTF-16; invalid sequences become U+FFFD.
void AppendUtf8AsUtf16(std::u16string& out, std::string_view s);
// Decodes the UTF-8 sequence at s[i] and advances `i` past it; an invalid
// one gives U+FFFD and consumes one byte.
char32_t DecodeUtf8At(std::string_view s, size_t& i);
// Writes `cp` as UTF-8 at `p`, which has room for four bytes; returns the
// new end.
char* EncodeUtf8At(char* p, char32_t cp);

// File text to UTF-8 by its byte-order mark: after a UTF-8 mark the text with
// invalid sequences as U+FFFD, after a UTF-16 mark (little or big endian) the code units
// converted, an odd last byte dropped. Text without a mark is read as
// Windows-1252 when `ansiWithoutMark`, else taken as UTF-8 already.
std::string DecodeMarkedText(std::string_view bytes, bool ansiWithoutMark);

// Windows-1252 bytes to UTF-16. The five unassigned bytes (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same value.
std::u16string DecodeCp1252(std::string_view bytes);
// Windows-1252 bytes straight to UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-16 to Windows-1252; a character the code page lacks becomes '?'.
std::string EncodeCp1252(std::u16string_view s);
// UTF-8 to Windows-1252; a character the code page lacks becomes '?'.
std::string Utf8ToCp1252(std::string_view s);

// Removes characters up to U+0020 at both ends, at the start or at the end.
std::u16string Trim(std::u16string_view s);
std::u16string TrimLeft(std::u16string_view s);
std::u16string TrimRight(std::u16string_view s);
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// Maps ASCII a..z to A..Z (or the reverse); nothing else changes.
std::u16string AsciiUpper(std::u16string_view s);
std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);
char16_t AsciiUpper(char16_t c);

// Locale-aware case mapping of a whole text, one code point at a time
// (ICU's simple mapping); the length in code units never changes.
std::u16string UpperCase(std::u16string_view s);
std::u16string LowerCase(std::u16string_view s);
// Unicode simple case folding, one code point at a time; the length in code
// units never changes. Texts equal after folding are equal ignoring case.
std::u16string FoldCase(std::u16string_view s);

// The name comparison: code unit by code unit after ASCII a..z are mapped to
// A..Z, nothing else folded; a leading part sorts first. Negative, zero or
// positive.
int CompareNames(std::u16string_view a, std::u16string_view b);
inline bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

// The most characters of user text (a path, a title, an entry name) that a
// message repeats.
constexpr size_t kMaxEchoedText = 200;
// The most characters of a whole error message that a status repeats.
constexpr size_t kMaxMessageText = 600;
// UTF-8 `text` cut to `maxChars` characters, "..." at the end when cut.
std::string ClipText(std::string_view text, size_t maxChars = kMaxEchoedText);

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Decimal text of a 32-bit integer with at least `digits` digits ("%.5d").
std::u16string IntToText(int32_t value, int digits = 1);

// Converts a decimal digit text to a 32-bit signed integer; false when the
// text is not a number or the value does not fit.
bool TryParseInt32(std::string_view digits, int32_t& value);

// ASCII caseless wildcard match of a file name: '*' any run, '?' one
// character; "*.*" matches every name, also one without a dot.
bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace vq
