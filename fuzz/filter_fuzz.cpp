// libFuzzer harness for the RomLister game-ID list. The input bytes are the
// export file: they are decoded as the list reads them, and the IDs are
// parsed both from the decoded text and from the raw bytes. Each result is
// compared with a plain scan for the tag <game name="digits"> (letters in any
// case):
//   - the decoded text is valid UTF-8, and text without a byte-order mark
//     that is all ASCII comes out unchanged;
//   - the IDs are exactly the tags' values, in order, each from 0 up;
//   - a tag whose value does not fit in 32 bits is an error naming its
//     digits, and only such a tag;
//   - the list answers Contains for every ID found and for no other value.
// A violation aborts with a message.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "filter/rom_list.h"

namespace {

constexpr std::string_view kTagStart = "<game name=\"";
constexpr std::string_view kTagEnd = "\">";

// What a scan of a text expects: the IDs, or the digits of the first tag
// whose value does not fit.
struct TExpected {
  std::vector<int32_t> ids;
  std::optional<std::string> tooLarge;
};

[[noreturn]] void Fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "filter_fuzz: %s for the text:\n%.*s\n", what, static_cast<int>(text.size()), text.data());
  std::abort();
}

char AsciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool StartsWithIgnoringCase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLowerChar(text[at + i]) != prefix[i]) return false;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Every tag in order. A tag holds only one '<', so tags never overlap and
// each '<' is tried on its own.
TExpected Scan(std::string_view text) {
  TExpected expected;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    if (!StartsWithIgnoringCase(text, at, kTagStart)) continue;
    const size_t first = at + kTagStart.size();
    size_t end = first;
    while (end < text.size() && IsDigit(text[end])) ++end;
    if (end == first || text.substr(end, kTagEnd.size()) != kTagEnd) continue;
    uint64_t value = 0;
    for (size_t i = first; i < end && value <= INT32_MAX; ++i) value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > INT32_MAX) {
      expected.tooLarge = std::string(text.substr(first, end - first));
      return expected;
    }
    expected.ids.push_back(static_cast<int32_t>(value));
  }
  return expected;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t before = i;
    const char32_t cp = vq::DecodeUtf8At(text, i);
    // DecodeUtf8At gives U+FFFD for an invalid sequence, consuming one byte;
    // a real U+FFFD is these three bytes.
    if (cp == 0xFFFD && text.substr(before, 3) != "\xEF\xBF\xBD") return false;
  }
  return true;
}

// Parses `text` and checks the result against the scan; returns the IDs.
std::optional<std::vector<int32_t>> CheckParse(const std::string& text) {
  const TExpected expected = Scan(text);
  std::vector<int32_t> ids;
  try {
    ids = vq::TRomList::ParseIDs(text);
  } catch (const vq::Error& e) {
    if (!expected.tooLarge) Fail("error without a value past 32 bits", text);
    if (std::string_view(e.what()) != "'" + *expected.tooLarge + "' is not a valid integer value") {
      Fail("error names other digits", text);
    }
    return std::nullopt;
  }
  if (expected.tooLarge) Fail("value past 32 bits read without an error", text);
  if (ids != expected.ids) Fail("IDs differ from the tags", text);
  return ids;
}

void CheckLookUps(const vq::TRomList& list, const std::vector<int32_t>& ids, const std::string& text) {
  if (list.IDCount() != static_cast<int32_t>(ids.size())) Fail("count differs from the parsed IDs", text);
  const std::set<int32_t> present(ids.begin(), ids.end());
  for (const int32_t id : present) {
    if (!list.Contains(id) || !list.GetContainsID(id)) Fail("ID found but not contained", text);
  }
  // Neighbours of every ID and the ends of the range, which are contained
  // exactly when they were found.
  std::vector<int32_t> probes{-1, 0, 1, INT32_MAX, INT32_MIN};
  for (const int32_t id : present) {
    if (id > 0) probes.push_back(id - 1);
    if (id < INT32_MAX) probes.push_back(id + 1);
  }
  for (const int32_t probe : probes) {
    if (list.Contains(probe) != present.contains(probe)) Fail("look-up disagrees with the IDs", text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const std::string raw(bytes.begin(), bytes.end());
  const std::string text = vq::TRomList::DecodeText(bytes);
  if (!IsValidUtf8(text)) Fail("decoded text is not UTF-8", raw);
  const bool marked = raw.starts_with("\xEF\xBB\xBF") || raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF");
  const bool ascii = std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!marked && ascii && text != raw) Fail("ASCII text changed by decoding", raw);

  CheckParse(raw);
  const std::optional<std::vector<int32_t>> ids = CheckParse(text);
  std::optional<vq::TRomList> list;
  try {
    list = vq::TRomList::FromBytes(bytes);
  } catch (const vq::Error&) {
    if (ids) Fail("list failed where the parse did not", text);
    return 0;
  }
  if (!ids) Fail("list read where the parse failed", text);
  for (const int32_t id : *ids) {
    if (id < 0) Fail("negative ID", text);
  }
  CheckLookUps(*list, *ids, text);
  return 0;
}
