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
// screen. Uses the job's compiled line pattern, which must outlive it.
class TNfoReformatter {
 public:
  explicit TNfoReformatter(const Regex& FRegexReformat) : FRegexReformat(FRegexReformat) {}

  // Appends the reformatted lines of `Text` to `Lines`.
  void ReformatNFO(std::u16string_view Text, std::vector<std::u16string>& Lines) const;

 private:
  const Regex& FRegexReformat;
};

}  // namespace vq
