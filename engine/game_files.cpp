#include "engine/game_files.h"

#include "base/fat_name.h"
#include "base/text.h"

namespace vq {

namespace {

// Each part of a '/'-separated path made valid on FAT.
std::u16string FatPath(const std::string& relativePath) {
  const std::u16string path = Utf8ToUtf16(relativePath);
  std::u16string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'/', start);
    if (end == std::u16string::npos) end = path.size();
    if (!out.empty()) out += u'/';
    out += FatName(std::u16string_view(path).substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// `path` with "_<n>" before the extension of its last part, the stem cut
// so that the part stays within FAT's length.
std::u16string Numbered(const std::u16string& path, int n) {
  const size_t nameStart = path.find_last_of(u'/') + 1;
  const size_t dot = path.find_last_of(u'.');
  const size_t stemEnd = (dot == std::u16string::npos || dot <= nameStart) ? path.size() : dot;
  const std::u16string suffix = u"_" + IntToText(n);
  const std::u16string ext = path.substr(stemEnd);
  std::u16string stem = path.substr(nameStart, stemEnd - nameStart);
  const size_t room = kMaxFatName > suffix.size() + ext.size() ? kMaxFatName - suffix.size() - ext.size() : 1;
  if (stem.size() > room) stem.resize(room);
  return path.substr(0, nameStart) + FatName(stem + suffix + ext);
}

}  // namespace

std::string TGameFiles::Reserve(const std::string& relativePath) {
  const std::u16string path = FatPath(relativePath);
  taken_.insert(FatKey(path));
  return Utf16ToUtf8(path);
}

std::string TGameFiles::Claim(const std::string& relativePath) {
  const std::u16string path = FatPath(relativePath);
  std::u16string candidate = path;
  for (int n = 2; !taken_.insert(FatKey(candidate)).second; ++n) candidate = Numbered(path, n);
  if (candidate != path) renamed_ = true;
  return paths_.emplace_back(Utf16ToUtf8(candidate));
}

}  // namespace vq
