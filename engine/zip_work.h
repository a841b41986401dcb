#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/regex.h"
#include "engine/arc_info.h"
#include "engine/game_files.h"
#include "engine/hvsc_path.h"
#include "engine/manifest.h"
#include "engine/nfo_reformat.h"
#include "engine/ordered_pipeline.h"
#include "zip/zip_reader.h"

namespace vq {

// The most bytes of a VERSION.NFO that are read; a larger one is refused.
constexpr uint64_t kMaxNfoBytes = uint64_t{256} << 10;
// The most bytes of a T64 archive that are converted; a larger one gives no
// file and counts as a tape error of its game.
constexpr uint64_t kMaxTapeBytes = uint64_t{16} << 20;
// Entries read ahead of the writer are at most this large each, and one
// game's are at most kMaxPreparedGame together; larger ones are streamed by
// the writer itself.
constexpr uint64_t kMaxPreparedEntry = uint64_t{8} << 20;
constexpr uint64_t kMaxPreparedGame = uint64_t{8} << 20;
// The bytes read ahead of the writer by all threads together.
constexpr size_t kPreparedBytesCap = size_t{8} << 20;

// Closes a reader when the work on its zip ends, also by an error.
class TZipCloser {
 public:
  explicit TZipCloser(TZipReader& reader) : reader_(reader) {}
  ~TZipCloser() { reader_.Close(); }
  TZipCloser(const TZipCloser&) = delete;
  TZipCloser& operator=(const TZipCloser&) = delete;

 private:
  TZipReader& reader_;
};

// What the scan learns from one zip file.
struct TScannedZip {
  bool Valid = false;
  std::string Reason;  // why the zip is refused, when not Valid
  std::u16string Name;
  std::optional<int32_t> UniqueID;
  std::u16string SIDFile;  // empty without a SID line or when SIDs are off
  uint64_t Size = 0;       // outside test mode: what identifies the sources
  int64_t Time = 0;
  std::string Crcs;
  std::string SidKey;
};

// The options that shape what is read from a game's zip.
struct TGameSettings {
  TFileNameStyle FileNameStyle = fns1541U;
  TNFOStyle NFOStyle = nsOptimize;
  bool IncludeSIDs = false;
  bool AutoSwap = false;
  bool ExtractT64 = false;
  bool TestMode = false;
  bool RecordSources = false;  // the scan notes what identifies each game's sources
  std::string HvscDir;         // ending in '/'
};

// One zip entry the extraction writes: an image at its target path in the
// game folder, or a tape archive to convert.
struct TPlannedEntry {
  TZipEntry Entry;
  bool Tape = false;   // converted to PC64 files instead of written
  std::string Target;  // relative path in the game folder; empty: not writable
  bool Ready = false;  // Data holds the entry's bytes; otherwise the writer reads it
  std::vector<uint8_t> Data;
};

// A game's zip read ahead of the writer: what is in it, where each entry
// goes, and the bytes of the entries small enough to hold.
struct TPreparedGame {
  std::exception_ptr OpenError;  // the zip could not be opened or listed
  std::vector<TPlannedEntry> Plan;
  TGameFiles Files;  // the game folder's names after the plan
  std::vector<std::u16string> UnknownExtensions;  // in entry order, repeats kept
  int32_t UnhandledFileCount = 0;
  bool NfoReady = false;                 // the NFO below is read
  std::vector<std::u16string> NfoLines;  // the reformatted NFO
  std::string NfoName;                   // the stored NFO's name, copied as stored
  std::vector<uint8_t> NfoBytes;
  std::string SidSource;  // the game's SID tune in the HVSC, empty when missing
  std::string PrgSource;  // its PRG form, empty when missing
  TBudgetLease Lease;     // the bytes above, held in the budget
};

// One thread's means to read zips: its own reader and patterns.
class TZipWorker {
 public:
  // `hvsc` keeps the HVSC folder listings; it may be shared and must outlive
  // the worker.
  TZipWorker(const TGameSettings& settings, THvscListings& hvsc);
  TZipWorker(const TZipWorker&) = delete;
  TZipWorker& operator=(const TZipWorker&) = delete;

  // The scan of the zip at `path`: the fields of its VERSION.NFO.
  TScannedZip Scan(const std::string& path);
  // The scan of an unchanged zip as a manifest records it.
  TScannedZip FromRecord(const TManifestGame& record) const;

  // Reads `game`'s zip: the plan of its entries and, within `budget`, the
  // bytes of those the writer may need. `mayPass` tells when the budget may
  // be passed, `stopped` when to give up; what is not read stays for the
  // writer. Never throws for a bad zip: an open error is kept in the result.
  TPreparedGame Prepare(const TArcInfo& game, TByteBudget* budget, const std::function<bool()>& mayPass,
                        const std::function<bool()>& stopped);

  // The plan of the entries of the zip open in `reader`, into `prepared`:
  // names claimed in `prepared.Files`, nothing read yet.
  void PlanEntries(TZipReader& reader, const TArcInfo& game, TPreparedGame& prepared) const;

  // The name a SID copy is written under.
  std::string SidCopyName(const std::string& name) const;

  // The reformatted NFO of the zip open in `reader`, the game's folder name
  // first.
  std::vector<std::u16string> ReformattedNfo(TZipReader& reader, const TArcInfo& game) const;

  TZipReader& Reader() { return reader_; }

 private:
  void ReadEntries(TPreparedGame& prepared, TByteBudget* budget, const std::function<bool()>& mayPass,
                   const std::function<bool()>& stopped);
  void ReadNfo(const TArcInfo& game, TPreparedGame& prepared);
  void FindSids(const TArcInfo& game, TPreparedGame& prepared) const;
  std::string SidKey(const std::u16string& sidFile) const;

  TGameSettings settings_;
  TZipReader reader_;
  Regex name_regex_;
  Regex sid_regex_;
  Regex unique_id_regex_;
  Regex reformat_regex_;
  TNfoReformatter reformatter_{reformat_regex_};
  THvscListings& hvsc_;
};

}  // namespace vq
