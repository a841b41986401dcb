#include "base/regex.h"

#include <pcre.h>

#include "base/error.h"

namespace vq {

int RegexMatch::GroupStart(int i) const {
  if (i < 0 || 2 * i + 1 >= static_cast<int>(offsets_.size())) return -1;
  return offsets_[2 * i];
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

void Regex::PcreFree::operator()(real_pcre* p) const { pcre_free(p); }
void Regex::ExtraFree::operator()(pcre_extra* p) const { pcre_free_study(p); }

Regex::Regex(std::string_view pattern, unsigned options) : options_(options) {
  int flags = 0;
  if (options & kUtf8) flags |= PCRE_UTF8 | PCRE_NO_UTF8_CHECK;
  if (options & kCaseless) flags |= PCRE_CASELESS;
  if (options & kMultiline) flags |= PCRE_MULTILINE;
  if (options & kNewlineAny) flags |= PCRE_NEWLINE_ANY;
  const std::string source(pattern);
  const char* error = nullptr;
  int error_offset = 0;
  code_.reset(pcre_compile(source.c_str(), flags, &error, &error_offset, nullptr));
  if (!code_) {
    throw Error("regex '" + source + "': " + (error ? error : "compile failed") + " at offset " +
                std::to_string(error_offset));
  }
  error = nullptr;
  extra_.reset(pcre_study(code_.get(), 0, &error));
  if (error) throw Error("regex '" + source + "': " + error);
  pcre_fullinfo(code_.get(), extra_.get(), PCRE_INFO_CAPTURECOUNT, &capture_count_);
}

Regex::~Regex() = default;

bool Regex::Search(std::string_view subject, size_t offset, RegexMatch& match) const {
  match.offsets_.assign(static_cast<size_t>(3 * (capture_count_ + 1)), -1);
  if (offset > subject.size()) return false;
  const int options = (options_ & kUtf8) ? PCRE_NO_UTF8_CHECK : 0;
  const int rc = pcre_exec(code_.get(), extra_.get(), subject.data(), static_cast<int>(subject.size()),
                           static_cast<int>(offset), options, match.offsets_.data(),
                           static_cast<int>(match.offsets_.size()));
  if (rc < 0) {
    if (rc == PCRE_ERROR_NOMATCH) {
      match.offsets_.clear();
      return false;
    }
    throw Error("regex: match failed with code " + std::to_string(rc));
  }
  match.offsets_.resize(static_cast<size_t>(2 * (capture_count_ + 1)));
  return true;
}

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
