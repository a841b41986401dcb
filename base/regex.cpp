#include "base/regex.h"

#include <cstdint>

#if VQ_PCRE2
#include <pcre2.h>
#else
#include <pcre.h>
#endif

#include "base/error.h"

namespace vq {

int RegexMatch::GroupStart(int i) const {
  if (i < 0 || 2 * i + 1 >= static_cast<int>(offsets_.size())) return -1;
  return offsets_[2 * static_cast<size_t>(i)];
}

int RegexMatch::GroupLength(int i) const {
  const int start = GroupStart(i);
  return start < 0 ? 0 : offsets_[2 * i + 1] - start;
}

std::string_view RegexMatch::Group(std::string_view subject, int i) const {
  const int start = GroupStart(i);
  if (start < 0) return {};
  return subject.substr(static_cast<size_t>(start), static_cast<size_t>(GroupLength(i)));
}

namespace {

// The text of a failed compile, the same for both libraries.
Error CompileError(const std::string& pattern, const std::string& cause, size_t offset) {
  return Error("regex '" + pattern + "': " + cause + " at offset " + std::to_string(offset));
}

Error MatchError(int code) { return Error("regex: match failed with code " + std::to_string(code)); }

}  // namespace

#if VQ_PCRE2

namespace {

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct ContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};

}  // namespace

// The compiled pattern and the match block its searches fill in (a Regex is
// used from one thread at a time, so one block serves every search).
struct Regex::Code {
  std::unique_ptr<pcre2_code, CodeFree> pattern_;
  std::unique_ptr<pcre2_match_data, MatchDataFree> match_data_;
};

Regex::Regex(std::string_view pattern, unsigned options) : code_(std::make_unique<Code>()), options_(options) {
  uint32_t flags = 0;
  if (options & kUtf8) flags |= PCRE2_UTF | PCRE2_NO_UTF_CHECK;
  if (options & kCaseless) flags |= PCRE2_CASELESS;
  if (options & kMultiline) flags |= PCRE2_MULTILINE;
  const std::unique_ptr<pcre2_compile_context, ContextFree> context(pcre2_compile_context_create(nullptr));
  if (!context) throw Error("regex: out of memory");
  if (options & kNewlineAny) pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANY);
  const std::string source(pattern);
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  code_->pattern_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.c_str()), PCRE2_ZERO_TERMINATED, flags,
                                      &error, &error_offset, context.get()));
  if (!code_->pattern_) {
    PCRE2_UCHAR text[256];
    const bool known = pcre2_get_error_message(error, text, sizeof text) >= 0;
    throw CompileError(source, known ? reinterpret_cast<const char*>(text) : "compile failed", error_offset);
  }
  code_->match_data_.reset(pcre2_match_data_create_from_pattern(code_->pattern_.get(), nullptr));
  if (!code_->match_data_) throw Error("regex '" + source + "': out of memory");
  uint32_t count = 0;
  pcre2_pattern_info(code_->pattern_.get(), PCRE2_INFO_CAPTURECOUNT, &count);
  capture_count_ = static_cast<int>(count);
}

bool Regex::Search(std::string_view subject, size_t offset, RegexMatch& match) const {
  match.offsets_.clear();
  if (offset > subject.size()) return false;
  const uint32_t options = (options_ & kUtf8) ? PCRE2_NO_UTF_CHECK : 0;
  pcre2_match_data* data = code_->match_data_.get();
  const int rc = pcre2_match(code_->pattern_.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                             offset, options, data, nullptr);
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  if (rc < 0) throw MatchError(rc);
  const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
  const size_t slots = 2 * static_cast<size_t>(capture_count_ + 1);
  match.offsets_.resize(slots);
  for (size_t i = 0; i < slots; ++i) {
    match.offsets_[i] = vector[i] == PCRE2_UNSET ? -1 : static_cast<int>(vector[i]);
  }
  return true;
}

#else

namespace {

struct PatternFree {
  void operator()(real_pcre* p) const { pcre_free(p); }
};
struct ExtraFree {
  void operator()(pcre_extra* p) const { pcre_free_study(p); }
};

}  // namespace

// The compiled pattern and its study data.
struct Regex::Code {
  std::unique_ptr<real_pcre, PatternFree> pattern_;
  std::unique_ptr<pcre_extra, ExtraFree> extra_;
};

Regex::Regex(std::string_view pattern, unsigned options) : code_(std::make_unique<Code>()), options_(options) {
  int flags = 0;
  if (options & kUtf8) flags |= PCRE_UTF8 | PCRE_NO_UTF8_CHECK;
  if (options & kCaseless) flags |= PCRE_CASELESS;
  if (options & kMultiline) flags |= PCRE_MULTILINE;
  if (options & kNewlineAny) flags |= PCRE_NEWLINE_ANY;
  const std::string source(pattern);
  const char* error = nullptr;
  int error_offset = 0;
  code_->pattern_.reset(pcre_compile(source.c_str(), flags, &error, &error_offset, nullptr));
  if (!code_->pattern_) {
    throw CompileError(source, error ? error : "compile failed", static_cast<size_t>(error_offset));
  }
  error = nullptr;
  code_->extra_.reset(pcre_study(code_->pattern_.get(), 0, &error));
  if (error) throw Error("regex '" + source + "': " + error);
  pcre_fullinfo(code_->pattern_.get(), code_->extra_.get(), PCRE_INFO_CAPTURECOUNT, &capture_count_);
}

bool Regex::Search(std::string_view subject, size_t offset, RegexMatch& match) const {
  match.offsets_.clear();
  if (offset > subject.size()) return false;
  match.offsets_.assign(3 * static_cast<size_t>(capture_count_ + 1), -1);
  const int options = (options_ & kUtf8) ? PCRE_NO_UTF8_CHECK : 0;
  const int rc = pcre_exec(code_->pattern_.get(), code_->extra_.get(), subject.data(),
                           static_cast<int>(subject.size()), static_cast<int>(offset), options,
                           match.offsets_.data(), static_cast<int>(match.offsets_.size()));
  if (rc < 0) {
    match.offsets_.clear();
    if (rc == PCRE_ERROR_NOMATCH) return false;
    throw MatchError(rc);
  }
  match.offsets_.resize(2 * static_cast<size_t>(capture_count_ + 1));
  return true;
}

#endif

Regex::~Regex() = default;

std::string Regex::DeleteAll(std::string_view subject) const {
  std::string out;
  RegexMatch m;
  size_t pos = 0;
  size_t copied = 0;
  while (pos <= subject.size() && Search(subject, pos, m)) {
    const auto start = static_cast<size_t>(m.Start());
    const auto end = start + static_cast<size_t>(m.Length());
    out.append(subject.substr(copied, start - copied));
    copied = end;
    if (end == start) {
      // An empty match: step over one character so the search moves on.
      if (end >= subject.size()) break;
      size_t step = 1;
      if (options_ & kUtf8) {
        while (end + step < subject.size() && (static_cast<unsigned char>(subject[end + step]) & 0xC0) == 0x80) ++step;
      }
      pos = end + step;
    } else {
      pos = end;
    }
  }
  out.append(subject.substr(copied));
  return out;
}

}  // namespace vq
