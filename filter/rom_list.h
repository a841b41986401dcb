#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vq {

// The game IDs of a RomLister XML export: every <game name="digits"> tag,
// in file order, duplicates included. Read once by the constructor.
class TRomList {
 public:
  // Reads `FileName` (UTF-8 path). Throws vq::Error with "%s does not exist"
  // for a missing file, "<path>: <cause>" for a folder, a file that is not a
  // regular file or one that cannot be read, and
  // "'%s' is not a valid integer value" for a digit run past 2147483647.
  explicit TRomList(const std::string& FileName);
  // A list over the bytes of an export, read as the constructor reads the
  // file's bytes. Throws the constructor's "not a valid integer value".
  static TRomList FromBytes(const std::vector<uint8_t>& bytes);

  // True when `ID` occurs in the list at least once.
  bool GetContainsID(int32_t ID) const;
  // The same question under its property name.
  bool Contains(int32_t ID) const { return GetContainsID(ID); }
  // Number of tags found, duplicates counted each time.
  int32_t IDCount() const { return static_cast<int32_t>(IDList.size()); }

  // Parses the decoded export text (UTF-8); used by the constructor.
  static std::vector<int32_t> ParseIDs(const std::string& utf8Text);
  // Decodes file bytes: a byte-order mark selects UTF-8, UTF-16 LE or BE,
  // otherwise Windows-1252. Returns UTF-8.
  static std::string DecodeText(const std::vector<uint8_t>& bytes);

 private:
  // An empty list.
  TRomList() = default;

  std::vector<int32_t> IDList;
};

}  // namespace vq
