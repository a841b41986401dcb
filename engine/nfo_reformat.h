#pragma once

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
// screen. Widths count characters (code points); for text decoded from
// Windows-1252 that is the number of UTF-16 code units.
class TNfoReformatter {
 public:
  // ARegexReformat is the job's compiled line pattern (kReformatPattern with
  // kReformatOptions); it must outlive the reformatter.
  explicit TNfoReformatter(const Regex& ARegexReformat);

  // Appends the reformatted lines of `Text` to `Lines`. A wrapped label value
  // extends the line it has just added; nothing before it is touched.
  void ReformatNFO(std::u16string_view Text, std::vector<std::u16string>& Lines) const;

 private:
  // The working text: ReduceToBaseChars of `Text`, as UTF-8.
  std::string MakeWorkingText(std::u16string_view Text) const;

  const Regex& FRegexReformat;
  // ReduceToBaseChars of each character from U+00C0 below kBaseCharsEnd, in
  // UTF-8, looked up instead of calling it for every character.
  static constexpr char16_t kBaseCharsEnd = 0x300;
  std::vector<std::string> FBaseChars;
};

}  // namespace vq
