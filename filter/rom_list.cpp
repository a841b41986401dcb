#include "filter/rom_list.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "base/error.h"
#include "base/file_system.h"
#include "base/regex.h"
#include "base/text.h"

namespace vq {

TRomList::TRomList(const std::string& FileName) {
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadWholeFile(FileName);
  } catch (const Error& e) {
    // A missing file is told as such; any other failure with its own cause
    // (a folder, not a regular file, no permission).
    if (e.Code() == ENOENT) throw Error(ClipText(FileName) + " does not exist", ENOENT);
    throw;
  }
  IDList = ParseIDs(DecodeText(bytes));
}

TRomList TRomList::FromBytes(const std::vector<uint8_t>& bytes) {
  TRomList list;
  list.IDList = ParseIDs(DecodeText(bytes));
  return list;
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
  return DecodeMarkedText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), true);
}

}  // namespace vq
