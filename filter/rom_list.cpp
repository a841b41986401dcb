#include "filter/rom_list.h"

#include <algorithm>
#include <string_view>

#include "base/error.h"
#include "base/file_system.h"
#include "base/regex.h"
#include "base/text.h"

namespace vq {

namespace {

// UTF-16 code units from bytes in the given order; an odd last byte is lost.
std::u16string Utf16FromBytes(const uint8_t* data, size_t size, bool big_endian) {
  std::u16string text;
  text.reserve(size / 2);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const unsigned hi = big_endian ? data[i] : data[i + 1];
    const unsigned lo = big_endian ? data[i + 1] : data[i];
    text.push_back(static_cast<char16_t>((hi << 8) | lo));
  }
  return text;
}

}  // namespace

TRomList::TRomList(const std::string& FileName) {
  if (!FileExists(FileName)) throw Error(FileName + " does not exist");
  IDList = ParseIDs(DecodeText(ReadWholeFile(FileName)));
}

bool TRomList::GetContainsID(int32_t ID) const {
  return std::find(IDList.begin(), IDList.end(), ID) != IDList.end();
}

std::vector<int32_t> TRomList::ParseIDs(const std::string& utf8Text) {
  const Regex pattern("<game name=\"(\\d+)\">", Regex::kCaseless);
  std::vector<int32_t> ids;
  RegexMatch match;
  size_t offset = 0;
  while (pattern.Search(utf8Text, offset, match)) {
    const std::string_view digits = match.Group(utf8Text, 1);
    int32_t id = 0;
    if (!TryParseInt32(digits, id)) {
      throw Error("'" + std::string(digits) + "' is not a valid integer value");
    }
    ids.push_back(id);
    offset = static_cast<size_t>(match.Start()) + static_cast<size_t>(match.Length());
  }
  return ids;
}

std::string TRomList::DecodeText(const std::vector<uint8_t>& bytes) {
  const uint8_t* data = bytes.data();
  const size_t size = bytes.size();
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    // Invalid sequences become U+FFFD on the way through UTF-16.
    const std::string_view text(reinterpret_cast<const char*>(data) + 3, size - 3);
    return Utf16ToUtf8(Utf8ToUtf16(text));
  }
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    return Utf16ToUtf8(Utf16FromBytes(data + 2, size - 2, false));
  }
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    return Utf16ToUtf8(Utf16FromBytes(data + 2, size - 2, true));
  }
  return Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
}

}  // namespace vq
