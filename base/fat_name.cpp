#include "base/fat_name.h"

#include <array>

#include "base/text.h"

namespace vq {

namespace {

bool IsForbidden(char16_t c) {
  return c < 0x20 || c == u'"' || c == u'*' || c == u'/' || c == u':' || c == u'<' || c == u'>' || c == u'?' ||
         c == u'\\' || c == u'|';
}

// True when `stem` names a DOS device, in any letter case.
bool IsDeviceName(std::u16string_view stem) {
  const std::u16string upper = AsciiUpper(stem);
  static constexpr std::array<std::u16string_view, 4> kPlain = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (const std::u16string_view device : kPlain) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) && upper[3] >= u'1' &&
         upper[3] <= u'9';
}

// Cuts `name` to at most kMaxFatName code units, keeping its extension when
// it is short enough to keep; never splits a surrogate pair.
void CutToLength(std::u16string& name) {
  if (name.size() <= kMaxFatName) return;
  const size_t dot = name.find_last_of(u'.');
  std::u16string ext;
  if (dot != std::u16string::npos && dot > 0 && name.size() - dot < kMaxFatName / 2) ext = name.substr(dot);
  size_t keep = kMaxFatName - ext.size();
  if (keep > 0 && name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;
  name = name.substr(0, keep) + ext;
}

}  // namespace

std::u16string FatName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) {
    if (IsForbidden(c)) c = u'_';
  }
  while (!out.empty() && (out.back() == u' ' || out.back() == u'.')) out.pop_back();
  const size_t dot = out.find(u'.');
  const std::u16string_view stem = std::u16string_view(out).substr(0, dot);
  if (IsDeviceName(stem)) out.insert(stem.size(), 1, u'_');
  CutToLength(out);
  // A cut may leave a blank or a full stop at the end again.
  while (!out.empty() && (out.back() == u' ' || out.back() == u'.')) out.pop_back();
  if (out.empty()) out.assign(1, u'_');
  return out;
}

std::string FatName(std::string_view name) { return Utf16ToUtf8(FatName(Utf8ToUtf16(name))); }

std::u16string FatKey(std::u16string_view name) { return FoldCase(name); }

}  // namespace vq
