#pragma once

#include <string>
#include <vector>

namespace vq {

// What a folder holds, as the scan walks it.
struct TDirectoryListing {
  std::vector<std::string> Folders;  // sub-folders, not hidden, no symbolic links
  std::vector<std::string> Files;    // files (links to files included), hidden ones too
  int Error = 0;                     // errno when the folder could not be listed, else 0
};

// Lists `dir` (ending in '/'): both lists in name-comparison order. Hidden
// means a name starting with "."; hidden folders are left out. A folder that
// cannot be listed gives empty lists and its Error.
TDirectoryListing ListDirectory(const std::string& dir);

}  // namespace vq
