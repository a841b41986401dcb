#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/regex.h"

namespace vq {

// The NFO line pattern: a separator line, or a label with its value.
constexpr const char* kReformatPattern = "(?:(^[=-]+)|(^[^:\\r\\n]{2,20}: +)([^\\r\\n]*))(?:[\\r\\n]{1,2})";
// Its options: multi-line, case-sensitive, UTF-8, any line end.
constexpr unsigned kReformatOptions = Regex::kUtf8 | Regex::kMultiline | Regex::kNewlineAny;

// Rewrites NFO texts into lines of at most 38 characters for a 38-column
// screen. Uses the job's compiled line pattern (kReformatPattern with
// kReformatOptions), which must outlive the reformatter. Widths count
// characters (code points); for text decoded from Windows-1252 that is the
// number of UTF-16 code units.
class TNfoReformatter {
 public:
  // ARegexReformat is the job's compiled line pattern.
  explicit TNfoReformatter(const Regex& ARegexReformat) : FRegexReformat(ARegexReformat) {}

  // Appends the reformatted lines of `Text` to `Lines`. A wrapped label value
  // extends the line it has just added; nothing before it is touched.
  void ReformatNFO(std::u16string_view Text, std::vector<std::u16string>& Lines) const;

 private:
  // What the layout routines share: the line list, the current piece T (one
  // code point per element) and the position P in T (0-based).
  struct TLayout {
    std::vector<std::u16string>& Lines;
    std::u32string T;
    size_t P = 0;
  };

  // Appends Count bytes of the UTF-8 text Source from byte From, trimmed and
  // wrapped; with Continue the first piece extends the last line.
  static void AddWrappedText(TLayout& Layout, std::string_view Source, size_t From, size_t Count, size_t Indent,
                             bool Continue);
  // The end (0-based, exclusive) of the next piece of T from P, at most
  // Width + 1 characters long. Width must be at least 1.
  static size_t FindLineBreak(const TLayout& Layout, size_t Width);
  // Appends a line of 37 copies of Char.
  static void AddSeparatorLine(TLayout& Layout, char16_t Char);

  const Regex& FRegexReformat;
};

}  // namespace vq
