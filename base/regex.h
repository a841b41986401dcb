#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// One match of a Regex: byte offsets into the subject, -1 where a group did
// not take part.
class RegexMatch {
 public:
  // Offset of the whole match's first byte.
  int Start() const { return offsets_.empty() ? -1 : offsets_[0]; }
  // Byte length of the whole match.
  int Length() const { return offsets_.empty() ? 0 : offsets_[1] - offsets_[0]; }
  // Number of capture slots including group 0.
  int GroupCount() const { return static_cast<int>(offsets_.size() / 2); }
  // Offset of group i, -1 when unset.
  int GroupStart(int i) const;
  // Byte length of group i, 0 when unset.
  int GroupLength(int i) const;
  // The text of group i inside `subject`; empty when unset.
  std::string_view Group(std::string_view subject, int i) const;

 private:
  friend class Regex;
  std::vector<int> offsets_;
};

// A PCRE pattern, compiled once, usable from one thread at a time. The build
// picks PCRE (libpcre) or PCRE2 (libpcre2-8); both behave the same here.
class Regex {
 public:
  enum Options : unsigned {
    kNone = 0,
    kUtf8 = 1,        // pattern and subjects are UTF-8; classes work on characters
    kCaseless = 2,    // ignore letter case
    kMultiline = 4,   // ^ and $ match at every line start and end
    kNewlineAny = 8,  // every Unicode line end ends a line
  };

  // Compiles `pattern`. Throws Error("regex '<pattern>': <cause> at offset <n>").
  Regex(std::string_view pattern, unsigned options);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // Finds the leftmost match at or after byte `offset` of `subject`.
  // Subjects must be valid UTF-8 in UTF-8 mode (they are never re-checked).
  bool Search(std::string_view subject, size_t offset, RegexMatch& match) const;
  bool Search(std::string_view subject, RegexMatch& match) const { return Search(subject, 0, match); }

  // Returns `subject` with every non-overlapping match deleted.
  std::string DeleteAll(std::string_view subject) const;

 private:
  // The compiled pattern in the library's own types, defined in regex.cpp.
  struct Code;
  std::unique_ptr<Code> code_;
  int capture_count_ = 0;
  unsigned options_ = 0;
};

}  // namespace vq
