#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <set>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/collator.h"
#include "base/file_sink.h"
#include "engine/arc_info.h"
#include "engine/job_options.h"
#include "engine/manifest.h"
#include "engine/thread.h"

namespace vq {

class TRomList;
class TZipReader;
class TZipWorker;
class THvscListings;
struct TZipEntry;
struct TPlannedEntry;
struct TPreparedGame;
struct TScannedZip;
struct TScanStep;
struct TGameWrite;
class TTaskQueue;
class TCardFolder;

// The status callback: receives each status text (UTF-8) on the worker
// thread, which waits until it returns. A front end that shows the texts on
// another thread hands them over itself.
using TOnProgressUpdate = std::function<void(const std::string&)>;

// A zip file the scan refused, and why.
struct TInvalidZip {
  std::string Path;
  std::string Reason;
};

// An entry that an update kept: one the job did not write, or a file the
// job wrote that changed on the card since, kept under another name.
struct TKeptEntry {
  std::string Path;  // where it is now, relative to the output folder
  std::string From;  // where it was
  bool Changed = false;  // a file the job wrote, changed on the card
};

// How a job ended.
enum class TJobOutcome { joRunning, joFinished, joAborted, joFailed };

// What a job has counted so far.
struct TJobCounts {
  int32_t FLoadedDirectories = 0;         // folders walked by the scan
  int32_t FLoadedArchives = 0;            // zip files accepted as games
  int32_t FScannedArchives = 0;           // zip files visited by the scan
  int32_t FIgnoredZipfiles = 0;           // zip files counted invalid
  int32_t FExtractedTapeArchives = 0;     // T64 archives converted
  int32_t FExtractedTapeFiles = 0;        // .Pxx files written from them
  int32_t FTapeArchivesNotExtracted = 0;  // T64 archives that gave no file
  int32_t FGameCount = 0;                 // games extracted
  int32_t FSIDCount = 0;                  // games whose SID tune was copied
  int32_t FSIDErrors = 0;                 // games whose SID tune was missing
  int32_t FFilteredCount = 0;             // games left out by the filter
  int32_t FFailedGames = 0;               // games left out after a failure
  int32_t FUnreadableFolders = 0;         // source folders that could not be read
};

// Sets up the process for jobs: heap limits that keep many threads from
// growing it, and a fixed time zone. Call at the start of main, before any
// thread runs.
void PrepareProcessForJobs();

// The game list's file name in the output folder.
std::string GameListName(TFileNameStyle style);

// One job: from the scan of the source tree to the game list, on a worker
// thread of its own. Folder texts use '/' and always end in it.
class TWorkThread : public TThread, private TJobCounts {
 public:
  // A suspended job over `options` as CheckJob returns them: texts trimmed.
  // It writes into OutputFolder(options).
  explicit TWorkThread(const TJobOptions& options);
  ~TWorkThread() override;

  // Set before Start.
  void SetOnProgressUpdate(TOnProgressUpdate callback) { FOnProgressUpdate = std::move(callback); }
  // Set before Start: for an update, the record of the output folder as the
  // check before the job read it, so that it is not read again.
  void SetRecord(std::shared_ptr<const TManifest> record) { FOldManifest = std::move(record); }

  // The counters. Read them only from the termination notice or after the
  // thread has ended.
  const TJobCounts& Counts() const { return *this; }
  // The last status text. Read it only from the termination notice or after
  // the thread has ended.
  const std::string& Status() const { return FStatus; }
  // How the job ended; joRunning until Execute returns.
  TJobOutcome Outcome() const { return FOutcome; }
  // The zip files the scan refused, in scan order. Read only from the
  // termination notice or after the end.
  const std::vector<TInvalidZip>& InvalidZips() const { return FInvalidZips; }
  // The file extensions met that are neither images nor NFO files, sorted
  // ignoring case. Read only from the termination notice or after the end.
  const std::vector<std::u16string>& UnknownExtensions() const { return FUnknownExtensions; }
  // The games. Read only from the termination notice or after the end.
  const TArchiveList& Archives() const { return ArchiveList; }
  // What an update kept that the job did not write, or that changed on the
  // card. Read only from the termination notice or after the end.
  const std::vector<TKeptEntry>& KeptEntries() const { return FKeptEntries; }
  // Every path inside the output folder that an update's plan names: what it
  // removes, moves aside, keeps or moves, and the folders it fills again.
  // Filled by the planning, in test mode too. Read only after the end.
  std::vector<std::string> PlannedPaths() const;

 protected:
  void Execute() override;

 private:
  // The output folder, opened on first use. Throws when it cannot be.
  const TCardFolder& Card();
  // Sets FStatus and reports it; waits until the callback has returned.
  void UpdateProgress(std::string status);
  // Ends the job with `message` as its last status and no summary.
  void Fail(std::string message);

  // The stages, in the order Execute runs them.
  bool LoadFilter();
  void ScanDirectory(const std::string& ADir, TArchiveList& AList);
  void AdjustFolderNames();
  void SortArchives();
  void BuildOutputMatrix();
  void MakeFolderNamesUnique();
  void ExtractArchives();
  void WriteGameList();
  std::string BuildSummary(bool aborted) const;
  std::string UnknownExtensionsText() const;

  // The scan: the walk of the source tree, then its zips read on the job's
  // threads and taken in walking order.
  void WalkSourceTree(const std::string& ADir, std::vector<TScanStep>& steps);
  TScannedZip ScanZip(const std::string& path, TZipWorker& worker) const;
  void AddGame(const std::string& path, TScannedZip& scanned, TArchiveList& AList);
  void RefuseZip(const std::string& path, std::string reason);

  // The job's threads that read zips: at least one.
  TZipWorker& Worker(int thread);
  int PipelineThreads() const { return FJobs > 1 ? FJobs : 0; }

  // The steps of one game's extraction. The zips are read ahead on the
  // job's threads; this thread creates every game folder in game order, and
  // writes a game's files itself or hands them to a writer thread.
  using TWrites = std::deque<std::unique_ptr<TGameWrite>>;
  enum class TFinish {
    fPoll,  // take the games finished at the front
    fAll,   // wait for every game handed aside
  };
  std::string GameStatus(const TArcInfo& game, size_t index, size_t count) const;
  void ShowStatus(TGameWrite& w);
  void BeginGame(TGameWrite& w, size_t count);
  bool CanWriteAside(const TGameWrite& w) const;
  void WriteGameAside(TGameWrite& w) const;
  void FinishWrites(TWrites& writes, TTaskQueue& writers, TFinish how);
  void FinishWritesBefore(TGameWrite& w, TWrites& writes, TTaskQueue& writers);
  void AddCounts(const TJobCounts& tally);
  void DropGame(TGameWrite& w, const std::string& cause);
  void RemoveGame(const TGameWrite& w) const;
  // Takes what the game `w` wrote off the card again: its folder and the
  // folders made for it, or, in a folder an earlier game made, its files.
  void TakeOffCard(const TGameWrite& w) const;
  // The same for the game whose failure ends the job; a failure of this is
  // not reported over that one.
  void TakeOffCardAfterFailure(const TGameWrite& w) const noexcept;
  // The steps that write a game's files; safe on a writer thread.
  void WriteGame(TGameWrite& w) const;
  TZipReader& OpenZip(TGameWrite& w) const;
  std::vector<std::u16string> AutoSwapLines(const std::vector<TPlannedEntry>& plan) const;
  bool ExtractEntries(TGameWrite& w) const;
  void WriteEntry(TGameWrite& w, TPlannedEntry& p) const;
  bool ConvertTape(TGameWrite& w, TPlannedEntry& p) const;
  void WriteNFO(TGameWrite& w) const;
  void NoteExtraction(TArcInfo& game, bool tapeError, bool renamed) const;
  void CopySIDs(TGameWrite& w) const;
  bool CopySIDFile(TGameWrite& w, const std::string& Source, const std::string& name) const;
  // Writes one file of the game; `knownCrc` is the CRC-32 of its bytes when
  // the archive states it (-1: computed while writing).
  void WriteGameFile(TGameWrite& w, const std::string& relative, bool fromZip,
                     const std::function<void(TFileSink&)>& fill, int64_t knownCrc = -1) const;
  TManifestGame ManifestRecord(const TGameWrite& w) const;
  void WriteManifestFile();
  void KeepUnfinishedManifest() noexcept;
  void RecordGame(const TManifestGame& record);

  // Updating an output folder in place: the plan against its record, the
  // folders emptied aside, and the games kept.
  struct TUpdateCounts {
    int32_t Added = 0, Changed = 0, Moved = 0, Deleted = 0, Kept = 0;
    int32_t Reordered = 0;  // folders whose entries go back in the job's order
  };
  // An entry the update moves aside and brings back after the job's.
  struct TUserEntry {
    std::string Path;   // where it was
    std::string Aside;  // its name in the holder
    bool Changed = false;
  };
  using TChildren = std::map<std::string_view, std::vector<std::string_view>>;
  std::string RelativeZip(const std::string& zip) const;
  // The sources of `game` as the manifest records them.
  TManifestGame SourceRecord(const TArcInfo& game) const;
  void LoadOldManifest();
  void PlanUpdate();
  // Refuses a link or a file where the update needs its holder folders.
  void CheckHolders() const;
  void PlanChangedFolders(const TChildren& before, const TChildren& after, const std::vector<std::string>& newPaths);
  bool ChangedOnCard(const std::string& path, const TManifestFile& file) const;
  // True when every file of `game` is on the card as its record says.
  bool GameIsWhole(const TManifestGame& game) const;
  // Whether the folder of a game the update may keep holds an entry for
  // each of its files, and whether they stand in the job's order (counted
  // as they do where `orderShown` is false).
  struct TFolderState {
    bool Whole = false;
    bool InOrder = true;
  };
  TFolderState GameFolderState(const TManifestGame& game, bool orderShown) const;
  void KeepAside(const std::string& path, bool changed);
  void ClassifyGameFolder(const std::string& folder, const std::map<std::string, TManifestFile>& files);
  void ClassifyEntries(const TChildren& before);
  void ReadJournal();
  void WriteJournal();
  std::string FreeName(const std::string& path, bool changed) const;
  void PutBack(const std::string& aside, const std::string& path, bool changed);
  void StageUpdate();
  void EmptyChangedFolders();
  void RestoreLeftAside();
  void RestoreKeptEntries();
  void MergeBack(const std::string& aside, const std::string& path);
  void ResortGameFolder(size_t oldGame, const std::string& path, const std::vector<TManifestFile>& files);
  void ResortFolder(size_t oldGame, size_t inner, const std::string& folder, const std::vector<std::string>& order);
  static std::string ResortName(size_t oldGame, size_t inner, const std::string& name);
  // Where the entry `name` aside in the holder came from, when a re-sort
  // put it there; else "".
  std::string ResortedPath(const std::string& name) const;
  static std::string AsideName(size_t oldGame);
  static std::string AsideFolderName(const std::string& folder);
  void EnsureFolder(const std::string& folder);
  bool Kept(size_t index) const { return FUpdate && FReuse[index] >= 0; }
  void PlaceKeptGame(TGameWrite& w, size_t index);
  void FinishUpdate();
  std::string UpdateText() const;
  void FlushCard();

  TFileNameStyle FFileNameStyle;
  TNFOStyle FNFOStyle;
  bool FIncludeSIDs;
  std::string FSourceDir;
  std::string FDestDir;
  std::string FHvscDir;
  std::unique_ptr<TCardFolder> FCard;  // the output folder: every write goes through it
  TOnProgressUpdate FOnProgressUpdate;
  std::string FFilterFile;
  bool FFilterIDs;
  TArchiveList ArchiveList;
  std::vector<TInvalidZip> FInvalidZips;
  std::unique_ptr<THvscListings> FHvscListings;  // shared by the readers; before them
  std::unique_ptr<TZipWorker> FZipper;  // this thread's own reader and patterns
  std::vector<std::unique_ptr<TZipWorker>> FWorkers;  // one per thread that reads ahead
  TCollator FCollator;  // the lists sorted ignoring case
  std::string FStatus;
  std::unique_ptr<TRomList> FRomList;
  bool FAutoSwap;
  bool FExtractT64;
  bool FForceUppercase1541U;
  std::string FUnknownFileExtensionsFound;
  std::vector<std::u16string> FUnknownExtensions;  // sorted ignoring case, no duplicates
  bool FTestMode;
  bool FKeepGoing;
  int FJobs;  // threads that read zips at once
  std::string FFingerprint;  // the options that shape the output
  bool FUpdate;              // an update of an output folder with a record
  std::shared_ptr<const TManifest> FOldManifest;
  std::unordered_map<std::string_view, size_t> FOldByZip;  // its games by zip, viewing their paths
  std::vector<int> FReuse;  // per game: its record in the old manifest; -1: written anew
  std::set<size_t> FResort;  // kept games whose folder lists its entries in another order
  std::unordered_set<std::string> FUnfinishedPlaces;  // resuming a job cut off: the folders its games take
  std::set<std::string> FChangedFolders;
  std::map<std::string, std::string> FStaged;  // what an update moved aside: path -> name in the holder
  std::string FHolder;                         // the holder of what was moved aside
  TUpdateCounts FUpdateCounts;
  std::vector<TUserEntry> FUserEntries;     // what the update keeps aside, in listing order
  std::vector<TKeptEntry> FKeptEntries;     // where they went
  std::set<std::string> FTouched;           // folders whose job entries the update rewrites
  std::vector<std::string> FFilesToRemove;  // what the games that are not kept wrote
  std::vector<std::string> FFoldersToRemove;  // their folders, removed once empty
  std::unordered_set<std::string> FLeftovers;  // what an update cut off wrote and did not record
  std::set<std::string> FPrevTouched;       // an update cut off: the folders it was rewriting
  std::set<std::string> FPrevUser;          // and the entries it kept
  std::vector<std::pair<std::string, std::string>> FPrevAside;  // and their names aside
  std::unique_ptr<TManifestWriter> FManifest;  // the record, written game by game
  TManifestFile FGameListFile;                 // the game list as written
  TJobOutcome FOutcome = TJobOutcome::joRunning;
};

}  // namespace vq
