#include "base/shell_delete.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "base/file_system.h"

namespace vq {

namespace {

// Entries counted between two reports while the tree is counted.
constexpr size_t kCountReportInterval = 256;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

// The names in the folder open as `dirFd`, without "." and "..". The names
// are read completely before anything is removed.
bool ListNames(int dirFd, std::vector<std::string>& names) {
  const int copy = dup(dirFd);
  if (copy < 0) return false;
  DirPtr dir(fdopendir(copy));
  if (!dir) {
    close(copy);
    return false;
  }
  rewinddir(dir.get());
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
    errno = 0;
  }
  return errno == 0;
}

// Opens the folder `name` in `dirFd` without following a link.
FileHandle OpenSubFolder(int dirFd, const std::string& name) {
  return FileHandle(openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool IsFolder(int dirFd, const std::string& name, bool& folder) {
  struct stat st;
  if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  folder = S_ISDIR(st.st_mode);
  return true;
}

}  // namespace

TDeleteResult TShellDelete::Delete(const std::string& path) {
  done_ = 0;
  total_ = 0;
  cancelled_ = false;
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0) return TDeleteResult::drFailed;
  if (!S_ISDIR(st.st_mode)) {
    // A link (to a folder or not) or a file: only the entry itself goes.
    total_ = 1;
    if (unlink(path.c_str()) != 0) return TDeleteResult::drFailed;
    return Removed() ? TDeleteResult::drDone : TDeleteResult::drCancelled;
  }
  FileHandle root(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!root.IsOpen()) return TDeleteResult::drFailed;
  size_t count = 1;  // the folder itself
  if (!CountEntries(root.Get(), count)) return cancelled_ ? TDeleteResult::drCancelled : TDeleteResult::drFailed;
  total_ = count;
  const bool contentsGone = DeleteContents(root.Get());
  if (cancelled_) return TDeleteResult::drCancelled;
  if (!contentsGone) return TDeleteResult::drFailed;
  root = FileHandle();
  if (rmdir(path.c_str()) != 0) return TDeleteResult::drFailed;
  return Removed() ? TDeleteResult::drDone : TDeleteResult::drCancelled;
}

bool TShellDelete::CountEntries(int dirFd, size_t& count) {
  std::vector<std::string> names;
  if (!ListNames(dirFd, names)) return false;
  for (const std::string& name : names) {
    // A large tree takes a while to count: report now and then (nothing
    // done of an unknown total) so the display stays live and can cancel.
    if (++count % kCountReportInterval == 0 && progress_ && !progress_(0, 0)) {
      cancelled_ = true;
      return false;
    }
    bool folder = false;
    if (!IsFolder(dirFd, name, folder)) return false;
    if (folder) {
      FileHandle sub = OpenSubFolder(dirFd, name);
      if (!sub.IsOpen() || !CountEntries(sub.Get(), count)) return false;
    }
  }
  return true;
}

bool TShellDelete::DeleteContents(int dirFd) {
  std::vector<std::string> names;
  if (!ListNames(dirFd, names)) return false;
  for (const std::string& name : names) {
    bool folder = false;
    if (!IsFolder(dirFd, name, folder)) return false;
    if (folder) {
      FileHandle sub = OpenSubFolder(dirFd, name);
      if (!sub.IsOpen() || !DeleteContents(sub.Get())) return false;
    }
    // AT_REMOVEDIR removes only an empty folder; a plain unlinkat removes a
    // link itself, never what it points to.
    if (unlinkat(dirFd, name.c_str(), folder ? AT_REMOVEDIR : 0) != 0) return false;
    if (!Removed()) return false;
  }
  return true;
}

bool TShellDelete::Removed() {
  ++done_;
  if (progress_ && !progress_(done_, total_)) cancelled_ = true;
  return !cancelled_;
}

}  // namespace vq
