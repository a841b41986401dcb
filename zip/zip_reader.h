#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_sink.h"

struct zip;

namespace vq {

// One entry as the search reports it.
struct TZipEntry {
  std::string FileName;    // the entry's file name without its stored path (UTF-8)
  std::string StoredPath;  // the stored path as written in the archive (UTF-8)
  int64_t Index = -1;      // the entry's index in the archive
  uint64_t Size = 0;       // uncompressed size in bytes
  // The CRC-32 the archive states; -1 when it states none. Reading the
  // entry to its end checks its bytes against it.
  int64_t Crc = -1;
};

// Reads zip archives: one archive open at a time, read-only. The source
// archive is never written. Every failure raises vq::Error with the archive's
// path as context. Not thread-safe; one reader serves one thread.
class TZipReader {
 public:
  // The largest entry that the memory and string extractions accept.
  static constexpr uint64_t kMaxMemoryEntry = 64ull << 20;

  TZipReader();
  ~TZipReader();
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  // The archive that Open reads.
  void SetFileName(std::string path) { file_name_ = std::move(path); }
  const std::string& FileName() const { return file_name_; }

  // Opens FileName() for reading, closing an archive still open.
  // Throws vq::Error when the file is missing or not a readable zip.
  void Open();
  // Closes the archive; does nothing when none is open.
  void Close() noexcept;
  bool IsOpen() const { return archive_ != nullptr; }

  // Starts a search over all entries in archive order, in every sub-folder;
  // `mask` is matched against the bare file name, ASCII-caseless, and "*.*"
  // matches every entry. Folder entries are never reported.
  bool FindFirst(std::string_view mask, TZipEntry& entry);
  // Continues the search that FindFirst started.
  bool FindNext(TZipEntry& entry);

  // The reader never names a place on disk: the extractions below write into
  // sinks that the caller makes and holds the folder of. Their errors name
  // the archive, "<archive>: <cause>", and keep the code of the sink's error
  // (ENOSPC stays ENOSPC).

  // Extracts the one entry that a search reported into `folder`, made by
  // `folder.Create` at TargetPath(entry), and commits it; an existing file of
  // that name is replaced as `folder` replaces it. Returns false, creating
  // nothing, for an entry that cannot be written at all (a name of "..").
  // A failure leaves no partial file: the uncommitted sink removes it.
  bool ExtractEntry(const TZipEntry& entry, TFileTarget& folder);
  // The path relative to the folder that ExtractEntry writes `entry` to,
  // '/'-separated, keeping the stored sub-folders; an entry whose stored
  // path is absolute or holds a ".." part keeps only its bare file name.
  // Empty for an entry that cannot be written at all.
  static std::string TargetPath(const TZipEntry& entry);
  // Streams the bytes of the entry that a search reported into `out`. Does
  // not commit `out`: the caller does once this returns.
  void ExtractEntryTo(const TZipEntry& entry, TFileSink& out);
  // Streams the bytes of the root entry named `name` (ASCII-caseless; a
  // stored "./" in front counts as the root) into `out`, not committed.
  // RootEntryName(name) tells the name to store it under. Throws when there
  // is none.
  void ExtractRootEntryTo(std::string_view name, TFileSink& out);

  // Reads the root entry named `name` (ASCII-caseless) into `out`, replacing
  // its content. Throws when it is missing, unreadable or larger than
  // `maxSize` (at most kMaxMemoryEntry), the error's code then EFBIG: the
  // limit holds for the bytes read, whatever size the headers state.
  void ExtractToMemory(std::string_view name, std::vector<uint8_t>& out, uint64_t maxSize = kMaxMemoryEntry);
  // Reads the entry that a search reported into `out`; same limits.
  void ExtractEntryToMemory(const TZipEntry& entry, std::vector<uint8_t>& out, uint64_t maxSize = kMaxMemoryEntry);
  // Reads the root entry named `name` as Windows-1252 text and returns it as
  // UTF-8. Same failures as ExtractToMemory.
  std::string ExtractToString(std::string_view name, uint64_t maxSize = kMaxMemoryEntry);
  // The CRC-32 of every entry in central directory order, in hexadecimal,
  // separated by ','.
  std::string CrcList() const;
  // The name to store the root entry `name` under: its stored name without
  // the "./" in front. Throws when there is none.
  std::string RootEntryName(std::string_view name) const;

 private:
  struct ArchiveClose { void operator()(zip* z) const; };

  // Throws Error("<archive>: <cause>") carrying the system error `code`.
  [[noreturn]] void Fail(const std::string& cause, int code = 0) const;
  void RequireOpen() const;
  // The stored name of entry `index` as UTF-8; null when libzip has none.
  const char* EntryName(int64_t index) const;
  int64_t LocateRootEntry(std::string_view name) const;
  void ReadEntry(int64_t index, std::vector<uint8_t>& out, uint64_t maxSize);
  // Throws unless `entry` is one of the open archive's entries.
  void RequireEntry(const TZipEntry& entry) const;
  // Opens entry `index` (stored name `name`), then streams its bytes into
  // the sink that `sink` gives: only once the entry could be opened is the
  // sink asked for, so an unreadable entry creates no file.
  void WriteEntry(int64_t index, const std::string& name, const std::function<TFileSink&()>& sink);
  bool NextMatch(TZipEntry& entry);

  std::string file_name_;
  std::unique_ptr<zip, ArchiveClose> archive_;
  std::string mask_;
  int64_t next_index_ = 0;
  int64_t entry_count_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace vq
