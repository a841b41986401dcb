#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_sink.h"
#include "base/file_system.h"

// The output folder, touched only through a handle on it: every path below
// is relative to the folder and is resolved beneath it by the kernel, never
// through a symbolic link, so no text can lead out of it.
namespace vq {

// What a path names; a link is never followed.
enum class TCardKind { ckMissing, ckFile, ckFolder, ckLink, ckOther };

// An entry as the file system holds it.
struct TCardStat {
  TCardKind Kind = TCardKind::ckMissing;
  uint64_t Size = 0;
  int64_t Time = 0;  // modification time, ns since the epoch
};

// One entry of a folder listing.
struct TCardEntry {
  std::string Name;
  TCardKind Kind = TCardKind::ckMissing;
};

class TCardFile;

// A handle on the output folder. Paths given to its methods are relative to
// it, '/'-separated, without an empty, "." or ".." part (a folder's path may
// end in '/'; "" is the folder itself). A path that passes through a link,
// or would leave the folder, is refused. Every failure throws
// vq::Error("<full path>: <cause>") carrying errno. Safe to share between
// threads; the object must outlive the files it made.
class TCardFolder {
 public:
  // How paths are resolved: by the kernel where it can (openat2), or part
  // by part; the second exists for the tests of older kernels.
  enum class TResolve { rKernel, rWalk };
  // Opens the existing folder `path`; its last part must not be a link.
  // Throws Error("<path>: <cause>").
  explicit TCardFolder(const std::string& path, TResolve resolve = TResolve::rKernel);
  ~TCardFolder();
  TCardFolder(const TCardFolder&) = delete;
  TCardFolder& operator=(const TCardFolder&) = delete;

  // The folder's path as given, ending in '/'.
  const std::string& Path() const { return path_; }
  // Path() followed by `relative`: for messages and for front ends only.
  std::string FullPath(std::string_view relative) const { return path_ + std::string(relative); }
  // True when the kernel resolves paths beneath the handle itself (openat2);
  // false where each part is opened in turn without following links.
  bool KernelConfined() const { return openat2_; }

  // What `relative` names, without following a link; ckMissing when it or a
  // folder on its way is missing. Throws when a part on the way is a link
  // or a file, or cannot be read.
  TCardStat Stat(std::string_view relative) const;
  bool IsFolder(std::string_view relative) const { return Stat(relative).Kind == TCardKind::ckFolder; }
  bool Exists(std::string_view relative) const { return Stat(relative).Kind != TCardKind::ckMissing; }
  // The entries of the folder `relative` in the order the file system lists
  // them ("." and ".." left out). Throws when it is no folder.
  std::vector<TCardEntry> List(std::string_view relative) const;
  // The same, names only.
  std::vector<std::string> ListNames(std::string_view relative) const;

  // Makes the folder `relative`, whose parent exists. Throws
  // Error("Unable to create directory \"<full path>\": <cause>").
  void MakeFolder(std::string_view relative) const;
  // Makes every missing folder of `relative`; returns how many of its last
  // parts were made (0: it was there). A file or a link in the way is
  // refused, before anything is made.
  size_t MakeFolders(std::string_view relative) const;
  // Creates the file `relative`, whose folder exists, replacing a file (or a
  // link) of that name; a folder of that name is refused.
  std::unique_ptr<TCardFile> CreateFile(std::string_view relative) const;
  // Opens the regular file `relative` for reading.
  FileHandle OpenForReading(std::string_view relative) const;
  // Reads the regular file `relative` of at most `maxSize` bytes.
  std::string ReadFile(std::string_view relative, size_t maxSize) const;
  // Moves `from` to `to`, whose folder exists; never replaces: an existing
  // `to` is refused with EEXIST.
  void Rename(std::string_view from, std::string_view to) const;
  // Moves the file `from` over the file `to` (written whole beside it),
  // replacing it; a folder at `to` is refused.
  void ReplaceFile(std::string_view from, std::string_view to) const;
  // Removes a file, a link or an empty folder.
  void Remove(std::string_view relative) const;
  // Removes `relative` with its whole content; links are removed as links.
  // Returns false, with what was removed by then gone, when `stop` said so.
  bool RemoveTree(std::string_view relative, const std::function<bool()>& stop = {}) const;
  // Writes every cached change of the folder's file system to the device.
  void Sync() const;

 private:
  friend class TCardFile;
  class TParent;
  TParent OpenParent(std::string_view relative) const;
  FileHandle OpenFolder(std::string_view relative) const;
  bool RemoveContent(int folder, const std::string& path, const std::function<bool()>& stop) const;

  // A folder opened lately, by its path without the '/' at its end.
  struct TOpenFolder {
    std::string Path;
    std::shared_ptr<const FileHandle> Handle;
  };
  // The folder `path` (trimmed, not ""), from the folders opened lately or
  // opened now; null when it is missing. Throws as OpenParent does.
  std::shared_ptr<const FileHandle> Folder(std::string_view path, std::string_view relative) const;
  // Forgets the folders opened lately at `relative` and beneath it: it is
  // about to be renamed or removed.
  void Forget(std::string_view relative) const;

  std::string path_;
  FileHandle root_;
  bool openat2_ = false;
  // Most operations of a job fall into a few folders at a time (the game
  // being written, the update's holder): each is resolved once, not once
  // per entry. The newest last.
  mutable std::mutex openLock_;
  mutable std::vector<TOpenFolder> open_;
};

// "" when files can be created in `folder` (the destination a user chose,
// made first with its missing parents); else the system's reason. A probe
// file is created there and removed at once.
std::string FolderWriteProblem(const std::string& folder);

// A new file in the output folder, written under its final name, that never
// stays behind half-written: unless Commit has closed it, the destructor
// removes it again.
class TCardFile : public TFileSink {
 public:
  ~TCardFile() override;
  TCardFile(const TCardFile&) = delete;
  TCardFile& operator=(const TCardFile&) = delete;

  void Write(const void* data, size_t size) override;
  void Commit() override;
  // The complete file's size and time, known once Commit has closed it.
  const TCardStat& Written() const { return written_; }
  // Its path relative to the output folder.
  const std::string& Relative() const { return relative_; }

 private:
  friend class TCardFolder;
  TCardFile(const TCardFolder& card, std::string relative, FileHandle folder, std::string name, FileHandle file);

  const TCardFolder& card_;
  std::string relative_;
  FileHandle folder_;
  std::string name_;
  FileHandle file_;
  TCardStat written_;
  bool committed_ = false;
};

// The output folder as a place for new files: sub-folders made as needed.
class TCardTarget : public TFileTarget {
 public:
  // Files land in `folder` ("" or ending in '/') of `card`, which outlives this.
  TCardTarget(const TCardFolder& card, std::string folder) : card_(card), folder_(std::move(folder)) {}
  std::unique_ptr<TFileSink> Create(const std::string& relativePath) override;

 private:
  const TCardFolder& card_;
  std::string folder_;
};

}  // namespace vq
