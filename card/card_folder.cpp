#include "card/card_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/text.h"

namespace vq {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Resolves `path` beneath `dir` with the kernel's own confinement: no part
// may be a link, none may climb out. -1 with errno set on failure.
int OpenBeneath(int dir, const char* path, int flags) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  for (;;) {
    const long fd = ::syscall(SYS_openat2, dir, path, &how, sizeof how);
    if (fd >= 0 || errno != EAGAIN) return static_cast<int>(fd);
  }
}

TCardKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return TCardKind::ckFile;
  if (S_ISDIR(mode)) return TCardKind::ckFolder;
  if (S_ISLNK(mode)) return TCardKind::ckLink;
  return TCardKind::ckOther;
}

TCardStat StatOf(const struct stat& st) {
  TCardStat s;
  s.Kind = KindOf(st.st_mode);
  s.Size = static_cast<uint64_t>(st.st_size);
  s.Time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

// `relative` without the '/' that may end a folder's path.
std::string_view Trimmed(std::string_view relative) {
  if (!relative.empty() && relative.back() == '/') relative.remove_suffix(1);
  return relative;
}

// The parts of `path` between its '/'s.
std::vector<std::string_view> PathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return parts;
    start = slash + 1;
  }
}

// A path that stays inside: parts that are neither empty, "." nor "..".
bool IsPlainRelative(std::string_view relative) {
  relative = Trimmed(relative);
  if (relative.empty()) return true;
  if (relative.find('\0') != std::string_view::npos) return false;
  const std::vector<std::string_view> parts = PathParts(relative);
  return std::none_of(parts.begin(), parts.end(),
                      [](std::string_view part) { return part.empty() || part == "." || part == ".."; });
}

// The text of an error about a folder on the way of `path` (beneath `root`)
// that could not be opened: the first part that is a link or no folder.
std::string WayCause(int root, std::string_view path, int err) {
  if (err != ELOOP && err != EXDEV && err != ENOTDIR) return std::strerror(err);
  for (size_t slash = path.find('/');; slash = path.find('/', slash + 1)) {
    const std::string part(path.substr(0, slash));
    struct stat st {};
    if (!part.empty() && ::fstatat(root, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(st.st_mode)) return "\"" + part + "\" is a symbolic link, which is never followed";
      if (!S_ISDIR(st.st_mode)) return "\"" + part + "\" is not a folder";
    }
    if (slash == std::string_view::npos) break;
  }
  return err == ENOTDIR ? "the path passes through something that is not a folder"
                        : "the path passes through a symbolic link, which is never followed";
}

// The longest path the system takes whole (PATH_MAX, its NUL included):
// longer paths are refused as a plain open would refuse them, so that the
// tree stays within what other programs can reach.
constexpr size_t kMaxPath = 4096;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

// The folder that holds an entry, opened beneath the root, and the entry's
// name in it.
class TCardFolder::TParent {
 public:
  TParent(int fd, std::shared_ptr<const FileHandle> owned, std::string name)
      : fd_(fd), owned_(std::move(owned)), name_(std::move(name)) {}
  int Fd() const { return fd_; }
  bool Missing() const { return fd_ < 0; }
  const char* Name() const { return name_.c_str(); }
  FileHandle TakeDuplicate() const { return FileHandle(::fcntl(fd_, F_DUPFD_CLOEXEC, 0)); }

 private:
  int fd_;
  std::shared_ptr<const FileHandle> owned_;
  std::string name_;
};

TCardFolder::TCardFolder(const std::string& path, TResolve resolve) : path_(IncludeTrailingDelimiter(path)) {
  // Without its '/': a trailing '/' would follow a link in the last part.
  std::string bare = path_;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  root_ = FileHandle(::open(bare.c_str(), kFolderFlags));
  if (!root_.IsOpen()) {
    const int err = errno;
    throw Error(ClipText(bare) + ": " + (err == ELOOP ? "the folder is a symbolic link" : std::strerror(err)), err);
  }
  const FileHandle probe(OpenBeneath(root_.Get(), ".", kFolderFlags));
  openat2_ = resolve == TResolve::rKernel && probe.IsOpen();
}

TCardFolder::~TCardFolder() = default;

FileHandle TCardFolder::OpenFolder(std::string_view relative) const {
  if (!IsPlainRelative(relative)) {
    throw Error(ClipText(FullPath(relative)) + ": not a path inside the output folder", EINVAL);
  }
  const std::string path(Trimmed(relative));
  // A folder opened anew: a duplicate of the handle would share its place in
  // a listing with every other duplicate.
  if (path.empty()) return FileHandle(::openat(root_.Get(), ".", kFolderFlags));
  if (path_.size() + path.size() >= kMaxPath) throw SystemError(ClipText(FullPath(relative)), ENAMETOOLONG);
  if (openat2_) return FileHandle(OpenBeneath(root_.Get(), path.c_str(), kFolderFlags));
  // Part by part, none of them followed if it is a link.
  FileHandle current;
  int at = root_.Get();
  for (const std::string_view part : PathParts(path)) {
    FileHandle next(::openat(at, std::string(part).c_str(), kFolderFlags));
    if (!next.IsOpen()) return next;
    current = std::move(next);
    at = current.Get();
  }
  return current;
}

TCardFolder::TParent TCardFolder::OpenParent(std::string_view relative) const {
  const std::string_view path = Trimmed(relative);
  if (path.empty() || !IsPlainRelative(path)) {
    throw Error(ClipText(FullPath(relative)) + ": not a path inside the output folder", EINVAL);
  }
  if (path_.size() + path.size() >= kMaxPath) throw SystemError(ClipText(FullPath(relative)), ENAMETOOLONG);
  const size_t slash = path.rfind('/');
  std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
  if (slash == std::string_view::npos) return TParent(root_.Get(), nullptr, std::move(name));
  std::shared_ptr<const FileHandle> folder = Folder(path.substr(0, slash), relative);
  const int fd = folder ? folder->Get() : -1;
  return TParent(fd, std::move(folder), std::move(name));
}

std::shared_ptr<const FileHandle> TCardFolder::Folder(std::string_view path, std::string_view relative) const {
  // Enough for the folders of a game, its letter folders and the holders.
  constexpr size_t kOpenFolders = 8;
  {
    const std::lock_guard lock(openLock_);
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->Path != path) continue;
      std::rotate(it, it + 1, open_.end());
      return open_.back().Handle;
    }
  }
  FileHandle folder = OpenFolder(path);
  if (!folder.IsOpen()) {
    const int err = errno;
    if (err == ENOENT) return nullptr;
    throw Error(ClipText(FullPath(relative)) + ": " + WayCause(root_.Get(), Trimmed(relative), err), err);
  }
  auto handle = std::make_shared<const FileHandle>(std::move(folder));
  const std::lock_guard lock(openLock_);
  if (open_.size() >= kOpenFolders) open_.erase(open_.begin());
  open_.push_back({std::string(path), handle});
  return handle;
}

void TCardFolder::Forget(std::string_view relative) const {
  const std::string_view path = Trimmed(relative);
  const std::lock_guard lock(openLock_);
  std::erase_if(open_, [path](const TOpenFolder& f) {
    return f.Path.starts_with(path) && (f.Path.size() == path.size() || f.Path[path.size()] == '/');
  });
}

TCardStat TCardFolder::Stat(std::string_view relative) const {
  struct stat st {};
  if (Trimmed(relative).empty()) {
    if (::fstat(root_.Get(), &st) != 0) throw SystemError(ClipText(path_), errno);
    return StatOf(st);
  }
  const TParent parent = OpenParent(relative);
  if (parent.Missing()) return {};
  if (::fstatat(parent.Fd(), parent.Name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    const int err = errno;
    if (err == ENOENT) return {};
    throw SystemError(ClipText(FullPath(relative)), err);
  }
  return StatOf(st);
}

std::vector<TCardEntry> TCardFolder::List(std::string_view relative) const {
  FileHandle folder = OpenFolder(relative);
  if (!folder.IsOpen()) {
    const int err = errno;
    throw Error(ClipText(FullPath(relative)) + ": " + WayCause(root_.Get(), Trimmed(relative), err), err);
  }
  const int fd = folder.Get();
  const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) throw SystemError(ClipText(FullPath(relative)), errno);
  folder.Release();  // the listing owns it now
  ::rewinddir(dir.get());
  std::vector<TCardEntry> entries;
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      TCardEntry e{entry->d_name, TCardKind::ckOther};
      switch (entry->d_type) {
        case DT_REG: e.Kind = TCardKind::ckFile; break;
        case DT_DIR: e.Kind = TCardKind::ckFolder; break;
        case DT_LNK: e.Kind = TCardKind::ckLink; break;
        case DT_UNKNOWN: {
          struct stat st {};
          if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) e.Kind = KindOf(st.st_mode);
          break;
        }
        default: break;
      }
      entries.push_back(std::move(e));
    }
    errno = 0;
  }
  if (errno != 0) throw SystemError(ClipText(FullPath(relative)), errno);
  return entries;
}

std::vector<std::string> TCardFolder::ListNames(std::string_view relative) const {
  std::vector<std::string> names;
  for (TCardEntry& entry : List(relative)) names.push_back(std::move(entry.Name));
  return names;
}

void TCardFolder::MakeFolder(std::string_view relative) const {
  const TParent parent = OpenParent(relative);
  const int err = parent.Missing() ? ENOENT : ::mkdirat(parent.Fd(), parent.Name(), 0777) == 0 ? 0 : errno;
  if (err != 0) {
    throw SystemError(Format("Unable to create directory \"%s\"", ClipText(FullPath(relative)).c_str()), err);
  }
}

size_t TCardFolder::MakeFolders(std::string_view relative) const {
  const std::string path(Trimmed(relative));
  if (!IsPlainRelative(path)) {
    throw Error(ClipText(FullPath(relative)) + ": not a path inside the output folder", EINVAL);
  }
  if (path.empty()) return 0;
  if (path_.size() + path.size() >= kMaxPath) {
    throw SystemError(Format("Unable to create directory \"%s\"", ClipText(FullPath(relative)).c_str()), ENAMETOOLONG);
  }
  size_t made = 0;
  FileHandle current;
  int at = root_.Get();
  for (const std::string_view name : PathParts(path)) {
    const std::string part(name);
    const std::string level = path.substr(0, static_cast<size_t>(name.data() - path.data()) + name.size());
    FileHandle next(::openat(at, part.c_str(), kFolderFlags));
    if (!next.IsOpen() && errno == ENOENT) {
      if (::mkdirat(at, part.c_str(), 0777) != 0 && errno != EEXIST) {
        throw SystemError(Format("Unable to create directory \"%s\"", ClipText(FullPath(level)).c_str()), errno);
      }
      ++made;
      next = FileHandle(::openat(at, part.c_str(), kFolderFlags));
    }
    if (!next.IsOpen()) {
      const int err = errno;
      struct stat st {};
      const bool there = ::fstatat(at, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
      throw Error(Format("Unable to create directory \"%s\": ", ClipText(FullPath(level)).c_str()) +
                      (there && S_ISLNK(st.st_mode)   ? "a symbolic link stands in its place"
                       : there && !S_ISDIR(st.st_mode) ? "a file stands in its place"
                                                       : std::strerror(err)),
                  err);
    }
    current = std::move(next);
    at = current.Get();
  }
  return made;
}

std::unique_ptr<TCardFile> TCardFolder::CreateFile(std::string_view relative) const {
  const TParent parent = OpenParent(relative);
  if (parent.Missing()) throw SystemError(ClipText(FullPath(relative)), ENOENT);
  constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
  FileHandle file(::openat(parent.Fd(), parent.Name(), kFlags, 0644));
  if (!file.IsOpen() && (errno == EACCES || errno == EPERM || errno == ELOOP)) {
    // A read-only file, or a link in the file's place, is removed and made
    // anew; the link's target is never touched.
    struct stat st {};
    if (::fstatat(parent.Fd(), parent.Name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode) &&
        ::unlinkat(parent.Fd(), parent.Name(), 0) == 0) {
      file = FileHandle(::openat(parent.Fd(), parent.Name(), kFlags | O_EXCL, 0644));
    } else {
      errno = EACCES;
    }
  }
  if (!file.IsOpen()) throw SystemError(ClipText(FullPath(relative)), errno);
  FileHandle folder = parent.TakeDuplicate();
  if (!folder.IsOpen()) throw SystemError(ClipText(FullPath(relative)), errno);
  return std::unique_ptr<TCardFile>(
      new TCardFile(*this, std::string(relative), std::move(folder), parent.Name(), std::move(file)));
}

FileHandle TCardFolder::OpenForReading(std::string_view relative) const {
  const TParent parent = OpenParent(relative);
  if (parent.Missing()) throw SystemError(ClipText(FullPath(relative)), ENOENT);
  FileHandle file(::openat(parent.Fd(), parent.Name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.IsOpen()) {
    const int err = errno;
    throw Error(ClipText(FullPath(relative)) + ": " + (err == ELOOP ? "the file is a symbolic link" : std::strerror(err)),
                err);
  }
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) throw SystemError(ClipText(FullPath(relative)), errno);
  if (!S_ISREG(st.st_mode)) throw Error(ClipText(FullPath(relative)) + ": not a regular file", EINVAL);
  return file;
}

std::string TCardFolder::ReadFile(std::string_view relative, size_t maxSize) const {
  const FileHandle file = OpenForReading(relative);
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) throw SystemError(ClipText(FullPath(relative)), errno);
  if (static_cast<uint64_t>(st.st_size) > maxSize) {
    throw Error(ClipText(FullPath(relative)) + Format(": the file is larger than %zu MiB", maxSize >> 20), EFBIG);
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError(ClipText(FullPath(relative)), errno);
    }
    if (n == 0) return text;
    if (text.size() + static_cast<size_t>(n) > maxSize) {
      throw Error(ClipText(FullPath(relative)) + Format(": the file is larger than %zu MiB", maxSize >> 20), EFBIG);
    }
    text.append(buffer, static_cast<size_t>(n));
  }
}

void TCardFolder::Rename(std::string_view from, std::string_view to) const {
  const auto fail = [&](int err) {
    throw SystemError(Format("Cannot move \"%s\" to \"%s\"", ClipText(FullPath(from)).c_str(),
                             ClipText(FullPath(to)).c_str()),
                      err);
  };
  Forget(from);
  Forget(to);
  const TParent source = OpenParent(from);
  const TParent target = OpenParent(to);
  if (source.Missing() || target.Missing()) fail(ENOENT);
  if (::renameat2(source.Fd(), source.Name(), target.Fd(), target.Name(), RENAME_NOREPLACE) == 0) return;
  if (errno != EINVAL && errno != ENOSYS) fail(errno);
  // A file system without the flag: the target is checked first.
  struct stat st {};
  if (::fstatat(target.Fd(), target.Name(), &st, AT_SYMLINK_NOFOLLOW) == 0) fail(EEXIST);
  if (::renameat(source.Fd(), source.Name(), target.Fd(), target.Name()) != 0) fail(errno);
}

void TCardFolder::ReplaceFile(std::string_view from, std::string_view to) const {
  Forget(from);
  const TParent source = OpenParent(from);
  const TParent target = OpenParent(to);
  int err = source.Missing() || target.Missing() ? ENOENT : 0;
  struct stat st {};
  if (err == 0 && ::fstatat(target.Fd(), target.Name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    err = EISDIR;
  }
  if (err == 0 && ::renameat(source.Fd(), source.Name(), target.Fd(), target.Name()) != 0) err = errno;
  if (err != 0) {
    throw SystemError(Format("Cannot move \"%s\" to \"%s\"", ClipText(FullPath(from)).c_str(),
                             ClipText(FullPath(to)).c_str()),
                      err);
  }
}

void TCardFolder::Remove(std::string_view relative) const {
  Forget(relative);
  const TParent parent = OpenParent(relative);
  if (parent.Missing()) throw SystemError(ClipText(FullPath(relative)), ENOENT);
  struct stat st {};
  if (::fstatat(parent.Fd(), parent.Name(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      ::unlinkat(parent.Fd(), parent.Name(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0) {
    throw SystemError(ClipText(FullPath(relative)), errno);
  }
}

bool TCardFolder::RemoveContent(int folder, const std::string& path, const std::function<bool()>& stop) const {
  std::vector<std::pair<std::string, bool>> names;  // name, is a folder
  {
    const int copy = ::openat(folder, ".", kFolderFlags);
    const std::unique_ptr<DIR, DirCloser> dir(copy >= 0 ? ::fdopendir(copy) : nullptr);
    if (!dir) {
      if (copy >= 0) ::close(copy);
      throw SystemError(ClipText(FullPath(path)), errno);
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      bool isFolder = entry->d_type == DT_DIR;
      if (entry->d_type == DT_UNKNOWN) {
        struct stat st {};
        isFolder = ::fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      }
      names.emplace_back(entry->d_name, isFolder);
      errno = 0;
    }
    if (errno != 0) throw SystemError(ClipText(FullPath(path)), errno);
  }
  for (const auto& [name, isFolder] : names) {
    if (stop && stop()) return false;
    const std::string inner = path + name + (isFolder ? "/" : "");
    if (isFolder) {
      const FileHandle sub(::openat(folder, name.c_str(), kFolderFlags));
      if (!sub.IsOpen()) throw SystemError(ClipText(FullPath(inner)), errno);
      if (!RemoveContent(sub.Get(), inner, stop)) return false;
    }
    // A plain unlinkat removes a link itself, never what it points to.
    if (::unlinkat(folder, name.c_str(), isFolder ? AT_REMOVEDIR : 0) != 0) {
      throw SystemError(ClipText(FullPath(inner)), errno);
    }
  }
  return true;
}

bool TCardFolder::RemoveTree(std::string_view relative, const std::function<bool()>& stop) const {
  const TCardStat stat = Stat(relative);
  if (stat.Kind == TCardKind::ckMissing) return true;
  if (stat.Kind != TCardKind::ckFolder) {
    Remove(relative);
    return true;
  }
  const FileHandle folder = OpenFolder(relative);
  if (!folder.IsOpen()) {
    const int err = errno;
    throw Error(ClipText(FullPath(relative)) + ": " + WayCause(root_.Get(), Trimmed(relative), err), err);
  }
  std::string path(Trimmed(relative));
  Forget(path);
  path += '/';
  if (!RemoveContent(folder.Get(), path, stop)) return false;
  Remove(relative);
  return true;
}

void TCardFolder::Sync() const {
  if (::syncfs(root_.Get()) != 0) throw SystemError(ClipText(path_), errno);
}

TCardFile::TCardFile(const TCardFolder& card, std::string relative, FileHandle folder, std::string name,
                     FileHandle file)
    : card_(card), relative_(std::move(relative)), folder_(std::move(folder)), name_(std::move(name)),
      file_(std::move(file)) {}

TCardFile::~TCardFile() {
  if (committed_) return;
  file_ = FileHandle();
  ::unlinkat(folder_.Get(), name_.c_str(), 0);
}

void TCardFile::Write(const void* data, size_t size) { WriteAll(file_, data, size, ClipText(card_.FullPath(relative_))); }

void TCardFile::Commit() {
  struct stat st {};
  if (::fstat(file_.Get(), &st) != 0) throw SystemError(ClipText(card_.FullPath(relative_)), errno);
  file_.Close(ClipText(card_.FullPath(relative_)));
  written_ = StatOf(st);
  committed_ = true;
}

std::unique_ptr<TFileSink> TCardTarget::Create(const std::string& relativePath) {
  const std::string path = folder_ + relativePath;
  const size_t slash = relativePath.rfind('/');
  if (slash != std::string::npos) card_.MakeFolders(folder_ + relativePath.substr(0, slash + 1));
  return card_.CreateFile(path);
}

std::string FolderWriteProblem(const std::string& folder) {
  if (!ForceDirectories(folder)) return std::strerror(errno);
  const std::string probe = IncludeTrailingDelimiter(folder) + Format(".vqsd-probe-%d", static_cast<int>(::getpid()));
  const FileHandle file(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.IsOpen()) return std::strerror(errno);
  ::unlink(probe.c_str());
  return {};
}

}  // namespace vq
