#include "base/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/text.h"

namespace vq {

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// A folder as the file system knows it, whatever path leads to it: bind
// mounts and links give one folder several paths, never several identities.
using TFolderId = std::pair<dev_t, ino_t>;

// The identities of the nearest existing folder at or above `path` and of
// each of its parents up to the root; `exists` tells whether that folder is
// `path` itself.
std::vector<TFolderId> FolderChain(const std::string& path, bool& exists) {
  std::string p = std::filesystem::absolute(path).string();
  while (p.size() > 1 && p.back() == kPathDelim) p.pop_back();
  exists = true;
  while (!DirectoryExists(p) && p.size() > 1) {
    exists = false;
    const size_t slash = p.find_last_of(kPathDelim);
    p = slash == 0 || slash == std::string::npos ? "/" : p.substr(0, slash);
  }
  std::vector<TFolderId> chain;
  FileHandle folder(::open(p.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  // The root is its own parent; the bound guards against a cycle.
  while (folder.IsOpen() && ::fstat(folder.Get(), &st) == 0 && chain.size() < 4096) {
    const TFolderId id{st.st_dev, st.st_ino};
    if (!chain.empty() && chain.back() == id) break;
    chain.push_back(id);
    folder = FileHandle(::openat(folder.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  return chain;
}

bool Holds(const std::vector<TFolderId>& chain, const TFolderId& id) {
  return std::find(chain.begin(), chain.end(), id) != chain.end();
}

}  // namespace

bool PathsOverlap(const std::string& a, const std::string& b) {
  bool aExists = false;
  bool bExists = false;
  const std::vector<TFolderId> chainA = FolderChain(a, aExists);
  const std::vector<TFolderId> chainB = FolderChain(b, bExists);
  if (chainA.empty() || chainB.empty()) return false;
  // A folder that exists overlaps every path whose chain passes through it.
  return (aExists && Holds(chainB, chainA.front())) || (bExists && Holds(chainA, chainB.front()));
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  std::string p = path;
  while (p.size() > 1 && p.back() == kPathDelim) p.pop_back();
  if (DirectoryExists(p)) return true;
  const size_t slash = p.find_last_of(kPathDelim);
  if (slash != std::string::npos && slash > 0) {
    if (!ForceDirectories(p.substr(0, slash))) return false;
  }
  if (::mkdir(p.c_str(), 0777) == 0) return true;
  if (errno == EEXIST) {
    if (DirectoryExists(p)) return true;
    errno = ENOTDIR;  // a file stands where the folder should be
  }
  return false;
}

std::string IncludeTrailingDelimiter(std::string path) {
  if (path.empty() || path.back() != kPathDelim) path += kPathDelim;
  return path;
}

std::string ExtractFileName(std::string_view path) {
  const size_t slash = path.find_last_of(kPathDelim);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFilePath(std::string_view path) {
  const size_t slash = path.find_last_of(kPathDelim);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

FileHandle OpenForReading(const std::string& path) {
  // Opened without waiting, so a pipe or device in the file's place can never
  // block; only a regular file is read.
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.IsOpen()) throw SystemError(path, errno);
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) throw SystemError(path, errno);
  if (S_ISDIR(st.st_mode)) throw SystemError(path, EISDIR);
  if (!S_ISREG(st.st_mode)) throw Error(path + ": not a regular file");
  const int flags = ::fcntl(file.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) throw SystemError(path, errno);
  return file;
}

FileHandle CreateFileForWriting(const std::string& path) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
  FileHandle file(::open(path.c_str(), kFlags, 0644));
  if (!file.IsOpen() && (errno == EACCES || errno == EPERM || errno == ELOOP)) {
    // A read-only file, or a link in the file's place, is removed and made anew.
    if (::unlink(path.c_str()) == 0) file = FileHandle(::open(path.c_str(), kFlags | O_EXCL, 0644));
  }
  if (!file.IsOpen()) throw SystemError(path, errno);
  return file;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path, size_t maxSize) {
  const FileHandle file = OpenForReading(path);
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0) throw SystemError(path, errno);
  if (static_cast<uint64_t>(st.st_size) > maxSize) {
    throw Error(ClipText(path) + Format(": the file is larger than %zu MiB", maxSize >> 20), EFBIG);
  }
  std::vector<uint8_t> data;
  data.reserve(static_cast<size_t>(st.st_size));
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError(path, errno);
    }
    if (n == 0) break;
    data.insert(data.end(), buffer, buffer + n);
    if (data.size() > maxSize) throw Error(ClipText(path) + Format(": the file is larger than %zu MiB", maxSize >> 20), EFBIG);
  }
  return data;
}

std::string ReadWholeFileAsString(const std::string& path, size_t maxSize) {
  const std::vector<uint8_t> data = ReadWholeFile(path, maxSize);
  return std::string(data.begin(), data.end());
}

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
  TNewFile file(path);
  file.Write(data, size);
  file.Commit();
}

bool IsRemovableCardFileSystem(const std::string& path) {
  constexpr long kMsdos = 0x4d44;
  constexpr long kExfat = 0x2011BAB0;
  constexpr long kFuse = 0x65735546;
  struct statfs fs {};
  if (::statfs(path.c_str(), &fs) != 0) return false;
  const long type = static_cast<long>(fs.f_type);
  return type == kMsdos || type == kExfat || type == kFuse;
}

void SyncFileSystem(const std::string& path) {
  const FileHandle folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.IsOpen() || ::syncfs(folder.Get()) != 0) throw SystemError(path, errno);
}

bool CopyFileReplacing(const std::string& source, const std::string& dest) {
  FileHandle in;
  try {
    in = OpenForReading(source);
  } catch (const Error&) {
    return false;
  }
  TNewFile out(dest);
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError(source, errno);
    }
    if (n == 0) break;
    out.Write(buffer, static_cast<size_t>(n));
  }
  out.Commit();
  return true;
}

FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

void FileHandle::Close(const std::string& context) {
  if (fd_ < 0) return;
  const int fd = Release();
  if (::close(fd) != 0) throw SystemError(context, errno);
}

TNewFile::TNewFile(std::string path) : path_(std::move(path)), file_(CreateFileForWriting(path_)) {}

TNewFile::~TNewFile() {
  if (committed_) return;
  file_ = FileHandle();
  ::unlink(path_.c_str());
}

void TNewFile::Write(const void* data, size_t size) { WriteAll(file_, data, size, path_); }

void TNewFile::Commit() {
  file_.Close(path_);
  committed_ = true;
}

void WriteAll(const FileHandle& file, const void* data, size_t size, const std::string& context) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(file.Get(), p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError(context, errno);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace vq
