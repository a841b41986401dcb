#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/file_sink.h"
#include "tape/t64_format.h"

namespace vq {

// A T64 tape archive held in memory: its directory, and the conversion of
// its regular files into PC64 files. Bad content never raises: an archive
// that fails the checks lists no entries.
class Tt64Archive {
 public:
  // Loads the file `FileName` (UTF-8 path) into memory that the object owns.
  // Throws vq::Error("File does not exist") when there is no such file, and
  // "<path>: <cause>" when it cannot be read.
  explicit Tt64Archive(const std::string& FileName);
  // Reads the archive in `MemoryStream`, which stays the caller's and must
  // outlive the object. `OriginalFileName` names the output files.
  Tt64Archive(std::span<const uint8_t> MemoryStream, std::string OriginalFileName);
  // Copies would share or dangle the borrowed stream; moving keeps it.
  Tt64Archive(const Tt64Archive&) = delete;
  Tt64Archive& operator=(const Tt64Archive&) = delete;
  Tt64Archive(Tt64Archive&&) = default;
  Tt64Archive& operator=(Tt64Archive&&) = default;

  // Picks the name a PC64 file is written under, given the name it would
  // get; lets the caller keep names apart from files it wrote before.
  using TNameChooser = std::function<std::string(const std::string& name)>;

  // Writes every regular file as a PC64 file (numbered .P00, .S01, ...
  // across letters, named after the archive) through `OutFolder.Create`,
  // committing each, and returns how many it wrote. `ChooseName`, when set,
  // picks each file's final name. Test mode names the files exactly as a
  // real run does, `ChooseName` called for each in the same order, and
  // returns the same count, but creates nothing. Errors are those of
  // `OutFolder` ("<path>: <cause>"); the files written before stay, the one
  // that failed is removed again by its uncommitted sink.
  int32_t ExtractToPxx(TFileTarget& OutFolder, bool TestMode, const TNameChooser& ChooseName = {}) const;

  // Data length of listed entry `i`: up to the next listed offset, or to the
  // end of the archive for the last one (0 when the offset lies past it, or
  // `i` is not a listed entry).
  uint32_t GetEntryLength(int i) const;

  // Number of listed entries (any non-zero C64S type).
  int FileCount() const { return static_cast<int>(FFiles.size()); }
  // The header and directory passed the checks.
  bool Valid() const { return FValid; }
  // The tape name, trailing characters up to U+0020 removed (UTF-8).
  const std::string& TapeName() const { return FTapeName; }
  // The listed entries, sorted by Offset.
  const std::vector<t64::Tt64DirectoryEntry>& Files() const { return FFiles; }

 private:
  // Reads the header and directory into the fields above.
  void InitFiles();
  // Data length of listed entry `i`, exact even past 4 GiB.
  uint64_t EntryLength(size_t i) const;
  // Writes `Entry` as a PC64 file with `Length` bytes of data into `Out`.
  void WritePc64File(TFileSink& Out, const t64::Tt64DirectoryEntry& Entry, bool IsPFile,
                     uint64_t Length) const;

  // The archive bytes when the object loaded them itself; empty otherwise.
  std::vector<uint8_t> FOwnedData;
  std::span<const uint8_t> FArchiveStream;
  std::vector<t64::Tt64DirectoryEntry> FFiles;
  bool FValid = false;
  t64::Tt64FileHeader FTapeHeader{};
  std::string FTapeName;
  std::string FFileName;
};

}  // namespace vq
