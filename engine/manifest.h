#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/arc_info.h"
#include "engine/job_options.h"

namespace vq {

class TCardFolder;
class TCardFile;

// The manifest's file name in the output folder.
constexpr const char* kManifestName = "vqsd-manifest.txt";

// The record is text of lines ended by '\n':
//   # Vondral64 Quillem SD manifest 3
//   options<TAB>fingerprint
//   unfinished                    only in a record of a job that was cut off
//   game<TAB>...<TAB>end          one line per game, 22 fields (TManifestGame
//                                 in order, between "game" and "end")
//   file<TAB>name<TAB>size<TAB>time<TAB>crc   a file of the job's at the top
//                                 of the output folder (the game list)
// A field writes tab, line feed, carriage return and backslash as \t, \n, \r,
// \\, and every other control character as \xhh. A list field ends each item
// with U+001F; in the files field an item is the file's name, size and time,
// separated by U+001E (version 1: its name alone).

// The version of the record this program writes. It reads versions 1 to 3:
// version 1 kept only the names of a game's files, version 2 their sizes
// and times too.
constexpr int kManifestVersion = 3;

// One file the job wrote into a game folder: its path there ('/'-separated),
// and its size, modification time (ns) and CRC-32 as the job left it.
struct TManifestFile {
  std::string Name;
  int64_t Size = -1;  // -1: not recorded (a version-1 record)
  int64_t Time = 0;
  int64_t Crc = -1;  // -1: not recorded (before version 3)

  bool operator==(const TManifestFile&) const = default;
};

// One game as a job wrote it: where it came from, where it went, what it
// left, and what it added to the game list and the summary.
struct TManifestGame {
  // Its source: the zip's path relative to the source folder, its size, its
  // modification time (ns), the CRC-32 values of its entries in central
  // directory order, and the SID tunes copied (path, size and time of each).
  std::string Zip;
  uint64_t Size = 0;
  int64_t Time = 0;
  std::string Crcs;
  std::string Sids;
  // Its game folder relative to the output folder, ending in '/', and the
  // files written into it, in the order they were written.
  std::string Path;
  std::vector<TManifestFile> Files;
  // What the game list and the summary show for it.
  int32_t UniqueID = 0;
  int32_t ExtractedFileCount = 0;
  int32_t UnhandledFileCount = 0;
  std::string Status;                   // ExtractionStatus, UTF-8
  std::vector<std::string> Extensions;  // unknown extensions met, upper case
  int32_t TapeArchives = 0;             // T64 archives converted
  int32_t TapeFiles = 0;                // PC64 files written from them
  int32_t TapesNotExtracted = 0;        // T64 archives that gave no file
  int32_t SidCount = 0;                 // 1: its tune was copied
  int32_t SidErrors = 0;                // 1: its tune was missing
  // What the scan read from its VERSION.NFO: the title, the tune's HVSC path
  // and whether the unique ID came from the NFO (else it is a position).
  std::string Name;
  std::string SidFile;
  bool IdFromNfo = false;

  // True when `other` comes from the same zip and tunes, unchanged.
  bool SameSource(const TManifestGame& other) const {
    return Zip == other.Zip && Size == other.Size && Time == other.Time && Crcs == other.Crcs && Sids == other.Sids;
  }
  bool operator==(const TManifestGame&) const = default;
};

// One game of a manifest as read: what is looked up at once; the rest stays
// text until TManifest::Game parses it.
struct TManifestEntry {
  std::string Zip;
  std::string Path;
  uint64_t Size = 0;
  int64_t Time = 0;
  std::string_view Line;  // its line in TManifest::Text
  size_t LineNumber = 0;  // counted from 1
};

// The record of an output folder: the options that shaped it and its games
// in the order they were written. A record read from a file keeps the file's
// text, which the games view: it stays where it was made.
struct TManifest {
  std::string Fingerprint;
  std::vector<TManifestEntry> Games;
  // The job's files at the top of the output folder (the game list).
  std::vector<TManifestFile> OwnFiles;
  // The record of a fresh job that was cut off: its games are those it
  // finished; what it began and did not finish, it did not record.
  bool Unfinished = false;
  std::string Text;
  int Version = kManifestVersion;  // the version of Text

  // Game `index`, every field, from its line as ParseManifest checked it.
  TManifestGame Game(size_t index) const;
};

// The folders in the output folder that hold what an update moves aside
// while it runs; an update cut off leaves them, the record inside.
constexpr const char* kUpdateHolder = "VQSDTMP1";
constexpr const char* kSecondUpdateHolder = "VQSDTMP2";

// The largest record read.
constexpr size_t kMaxManifestSize = size_t{256} << 20;

// The name of the record a job writes game by game; a fresh job that was
// cut off leaves it with the games it finished.
constexpr const char* kUnfinishedManifestName = "vqsd-manifest.txt.tmp";

// The manifest of the output folder `card`, relative to it: at its top, or,
// after an update was cut off, in a holder; empty when there is none.
std::string FindManifest(const TCardFolder& card);
// True when `card` has no record but the one a fresh job that was cut off
// left (kUnfinishedManifestName, at the top).
bool HasUnfinishedManifest(const TCardFolder& card);

// The options that shape the output, as one text: two runs with equal
// fingerprints write equal trees from equal sources.
std::string OptionsFingerprint(const TJobOptions& options);

// The record `text` (of a version this program reads), every field checked:
// paths relative and in their one spelling, game folders valid on FAT and
// each claimed by one game (or by consecutive games sharing it), numbers in
// range. Reads no file: `path` only names the record in messages. Throws
// vq::Error("\"<path>\": line <n>: <cause>") on the first fault, or
// vq::Error("\"<path>\": <cause>") for a fault of the whole text.
std::unique_ptr<TManifest> ParseManifest(std::string text, const std::string& path);
// The record a job that was cut off left: what follows its last whole line
// (a line cut off, or bytes the file system never wrote) is dropped, and
// the rest is read as ParseManifest reads it, marked Unfinished.
std::unique_ptr<TManifest> ParseUnfinishedManifest(std::string text, const std::string& path);

// Reads the manifest of `card` at `relative` and parses it as ParseManifest
// does (ParseUnfinishedManifest for kUnfinishedManifestName). Throws
// vq::Error naming it when it is missing, unreadable or not a manifest.
std::unique_ptr<TManifest> ReadManifest(const TCardFolder& card, const std::string& relative);

// A field of a record (or of the update's journal, which shares its form):
// tab, line end and backslash written as \t, \n, \r, \\, any other control
// character as \xhh.
std::string EscapeField(std::string_view text);
// The tab-separated fields of `line`, each as EscapeField wrote it; nullopt
// when one holds a raw control character or an escape EscapeField does not
// write.
std::optional<std::vector<std::string>> SplitEscapedFields(std::string_view line);
// True when `path` is a relative path in its one spelling: parts separated
// by single '/', none empty, "." or "..", no backslash, no control character.
bool IsPlainPath(std::string_view path);

// The start of a record of the current version: its header and options
// lines, and the mark of an unfinished one.
std::string ManifestHead(const std::string& fingerprint, bool unfinished = false);
// The line of `game` in a record of the current version, with its line end.
std::string ManifestLine(const TManifestGame& game);
// The line of a file of the job's at the top of the output folder.
std::string ManifestFileLine(const TManifestFile& file);

// Writes a manifest game by game into "<relative>.tmp" of `card`, renamed to
// `relative` by Commit; destroyed before, it leaves nothing unless Keep was
// called. Each game's line is handed to the file system as it is added, so
// that a job cut off leaves a record of the games it finished. Throws
// vq::Error on failure. `card` outlives it.
class TManifestWriter {
 public:
  TManifestWriter(const TCardFolder& card, std::string relative, const std::string& fingerprint,
                  bool unfinished = false);
  ~TManifestWriter();
  TManifestWriter(const TManifestWriter&) = delete;
  TManifestWriter& operator=(const TManifestWriter&) = delete;

  void Add(const TManifestGame& game);
  // A file of the job's at the top of the output folder; before Commit.
  void AddFile(const TManifestFile& file);
  void Commit();
  // Closes the record under its ".tmp" name, kept: the record of a job that
  // ends before it is complete.
  void Keep();

 private:
  void Flush();

  const TCardFolder& card_;
  std::string path_;
  std::unique_ptr<TCardFile> file_;
  std::string buffer_;
};

// Writes `manifest` (a fingerprint and the games read) to `relative` of
// `card` as TManifestWriter does.
void WriteManifest(const TCardFolder& card, const std::string& relative, const TManifest& manifest);

}  // namespace vq
