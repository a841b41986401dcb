#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Thin file-system helpers over POSIX. Paths are UTF-8 with '/' separators.
namespace vq {

constexpr char kPathDelim = '/';

// True when `path` names an existing folder (links followed).
bool DirectoryExists(const std::string& path);
// True when `path` names an existing regular file (links followed); devices,
// pipes and sockets are not files here.
bool FileExists(const std::string& path);
// Creates `path` with every missing parent; false on failure (errno kept).
bool ForceDirectories(const std::string& path);
// Appends '/' unless `path` already ends in it.
std::string IncludeTrailingDelimiter(std::string path);
// Text after the last '/' (the whole text when there is none).
std::string ExtractFileName(std::string_view path);
// Text up to and including the last '/' (empty when there is none).
std::string ExtractFilePath(std::string_view path);

// Reads a whole regular file of at most `maxSize` bytes.
// Throws Error("<path>: <cause>").
std::vector<uint8_t> ReadWholeFile(const std::string& path, size_t maxSize = SIZE_MAX);
std::string ReadWholeFileAsString(const std::string& path, size_t maxSize = SIZE_MAX);
// Creates or replaces `path` with `size` bytes. Throws Error("<path>: <cause>").
void WriteWholeFile(const std::string& path, const void* data, size_t size);

// True when `a` and `b` name the same folder or one lies inside the other,
// judged by the identities (device and inode) of the folders on their paths
// as far as they exist, so that links and bind mounts cannot hide it.
bool PathsOverlap(const std::string& a, const std::string& b);

// True when `path` lies on a FAT or exFAT file system, or on one mounted
// through FUSE (how many systems mount exFAT and FAT images): a memory card.
bool IsRemovableCardFileSystem(const std::string& path);
// Writes every cached change of the file system that holds `path` to the
// device. Throws Error("<path>: <cause>").
void SyncFileSystem(const std::string& path);

// Copies `source` to `dest`, replacing it. False when `source` cannot be
// opened for reading; throws Error("<path>: <cause>") when the copy fails
// after that, `dest` removed again.
bool CopyFileReplacing(const std::string& source, const std::string& dest);

// A file descriptor owned for its lifetime.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept : fd_(other.Release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Release() { int fd = fd_; fd_ = -1; return fd; }
  // Closes and reports a failed close. Throws Error("<context>: <cause>").
  void Close(const std::string& context);

 private:
  int fd_ = -1;
};

// Opens the regular file `path` for reading (links followed; a folder, pipe
// or device is refused without blocking). Throws Error("<path>: <cause>").
FileHandle OpenForReading(const std::string& path);
// Opens `path` for writing, created or truncated (mode 0644). A link in its
// place is never followed: it is replaced, as is a read-only file.
// Throws Error("<path>: <cause>").
FileHandle CreateFileForWriting(const std::string& path);
// A file written under its final name that never stays behind half-written:
// unless Commit has closed it, the destructor removes it again.
class TNewFile {
 public:
  // Creates `path` as CreateFileForWriting does. Throws Error("<path>: <cause>").
  explicit TNewFile(std::string path);
  ~TNewFile();
  TNewFile(const TNewFile&) = delete;
  TNewFile& operator=(const TNewFile&) = delete;

  // Appends `size` bytes. Throws Error("<path>: <cause>").
  void Write(const void* data, size_t size);
  // Closes the complete file. Throws Error("<path>: <cause>"), the file
  // removed, when the close reports a failure.
  void Commit();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  FileHandle file_;
  bool committed_ = false;
};

// Writes all `size` bytes. Throws Error("<context>: <cause>").
void WriteAll(const FileHandle& file, const void* data, size_t size, const std::string& context);

}  // namespace vq
