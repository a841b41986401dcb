#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/regex.h"

namespace vq {

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
