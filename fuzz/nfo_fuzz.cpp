// libFuzzer harness for the NFO reformatting. The input bytes are read both
// as Windows-1252 (as the zip reader delivers NFO texts) and as UTF-8; each
// text is reformatted and the result checked:
//   - every appended line is at most 38 characters wide (for Windows-1252
//     text also at most 38 UTF-16 code units);
//   - the line before the appended ones is left alone;
//   - with no separator characters ('=' or '-') in the text, the characters
//     above U+0020 come out exactly as they went in, in order.
// A violation aborts with a message.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/regex.h"
#include "base/text.h"
#include "engine/folder_names.h"
#include "engine/nfo_reformat.h"

namespace {

constexpr size_t kMaxWidth = 38;
constexpr std::u16string_view kFirstLine = u"Folder Name Not Bound By The Width Limit";

size_t CodePoints(std::u16string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
    ++n;
  }
  return n;
}

std::u16string Visible(std::u16string_view s) {
  std::u16string out;
  for (const char16_t c : s) {
    if (c > 0x20) out += c;
  }
  return out;
}

[[noreturn]] void Fail(const char* what, const std::u16string& text, size_t line) {
  std::fprintf(stderr, "nfo_fuzz: %s (line %zu) for the text:\n%s\n", what, line, vq::Utf16ToUtf8(text).c_str());
  std::abort();
}

void Check(const vq::TNfoReformatter& reformatter, const std::u16string& text, bool unitsToo) {
  std::vector<std::u16string> lines{std::u16string(kFirstLine)};
  reformatter.ReformatNFO(text, lines);
  if (lines.empty() || lines[0] != kFirstLine) Fail("first line changed", text, 0);
  if (lines.size() > text.size() + 1) Fail("more lines than characters", text, lines.size());
  for (size_t i = 1; i < lines.size(); ++i) {
    if (CodePoints(lines[i]) > kMaxWidth) Fail("line wider than 38 characters", text, i);
    if (unitsToo && lines[i].size() > kMaxWidth) Fail("line longer than 38 code units", text, i);
  }
  if (text.find_first_of(u"=-") == std::u16string::npos) {
    std::u16string joined;
    for (size_t i = 1; i < lines.size(); ++i) joined += lines[i];
    if (Visible(joined) != Visible(vq::ReduceToBaseChars(text))) Fail("characters lost or added", text, 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const vq::Regex regex(vq::kReformatPattern, vq::kReformatOptions);
  static const vq::TNfoReformatter reformatter(regex);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(reformatter, vq::DecodeCp1252(bytes), true);
  Check(reformatter, vq::Utf8ToUtf16(bytes), false);
  return 0;
}
