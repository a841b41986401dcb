#include "engine/directory_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

#include "base/text.h"

namespace vq {

namespace {

struct DirClose {
  void operator()(DIR* d) const { closedir(d); }
};

// Sorts names by the name comparison, with the byte order as a tie-break so
// the order never depends on the listing.
void SortNames(std::vector<std::string>& names) {
  std::vector<std::pair<std::u16string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& n : names) keyed.emplace_back(Utf8ToUtf16(n), std::move(n));
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    const int c = CompareNames(a.first, b.first);
    return c != 0 ? c < 0 : a.second < b.second;
  });
  for (size_t i = 0; i < keyed.size(); ++i) names[i] = std::move(keyed[i].second);
}

}  // namespace

TDirectoryListing ListDirectory(const std::string& dir) {
  TDirectoryListing listing;
  std::unique_ptr<DIR, DirClose> handle(opendir(dir.c_str()));
  if (!handle) {
    listing.Error = errno;
    return listing;
  }
  while (const dirent* entry = readdir(handle.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st {};
      if (lstat((dir + name).c_str(), &st) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      if (name[0] != '.') listing.Folders.push_back(name);
    } else if (type == DT_REG) {
      listing.Files.push_back(name);
    } else if (type == DT_LNK) {
      // A link counts only when it leads to a file; links to folders are never walked.
      struct stat st {};
      if (stat((dir + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) listing.Files.push_back(name);
    }
  }
  SortNames(listing.Folders);
  SortNames(listing.Files);
  return listing;
}

}  // namespace vq
