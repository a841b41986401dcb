#include "engine/work_thread.h"

#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "card/card_folder.h"
#include "engine/folder_names.h"
#include "engine/folder_partition.h"
#include "filter/rom_list.h"
#include "engine/hvsc_path.h"
#include "engine/zip_work.h"
#include "zip/zip_reader.h"

namespace vq {

namespace {

// Allocations from this size on are mapped and returned on release; a heap
// gives back free memory above the trim threshold; at most this many heaps
// serve the threads. Disk images (170 KiB to 800 KiB) stay in the heaps:
// mapping each one costs every core a flush of its address translations.
constexpr int kHeapMmapThreshold = 512 << 10;
constexpr int kHeapTrimThreshold = 1 << 20;
constexpr int kHeapArenas = 2;

// Told after an abort or an error: the game list is written last.
constexpr const char* kUnfinished = "The output folder is unfinished: it has no game list.";

std::string WithTrailingDelimiter(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

TGameSettings GameSettings(const TJobOptions& options) {
  TGameSettings settings;
  settings.FileNameStyle = options.FileNameStyle;
  settings.NFOStyle = options.NFOStyle;
  settings.IncludeSIDs = options.IncludeSIDs;
  settings.AutoSwap = options.AutoSwap;
  settings.ExtractT64 = options.ExtractT64;
  settings.TestMode = options.TestMode;
  settings.RecordSources = !options.TestMode || options.Update;
  settings.HvscDir = WithTrailingDelimiter(options.HvscDir);
  return settings;
}

}  // namespace

void PrepareProcessForJobs() {
  // Entry buffers of a few hundred KiB come and go on many threads. glibc
  // would keep each thread's freed ones in an arena of the thread's own and
  // raise its mmap threshold after each one, so the process would grow with
  // the number of threads; fixed thresholds and few heaps keep it bounded.
  mallopt(M_MMAP_THRESHOLD, kHeapMmapThreshold);
  mallopt(M_TRIM_THRESHOLD, kHeapTrimThreshold);
  mallopt(M_ARENA_MAX, kHeapArenas);
  // The zip library turns every entry's time into calendar time; without TZ
  // set, the C library looks at /etc/localtime again for each one.
  setenv("TZ", ":/etc/localtime", 0);
}

TWorkThread::TWorkThread(const TJobOptions& options)
    : FFileNameStyle(options.FileNameStyle),
      FNFOStyle(options.NFOStyle),
      FIncludeSIDs(options.IncludeSIDs),
      FSourceDir(WithTrailingDelimiter(options.SourceDir)),
      FDestDir(WithTrailingDelimiter(OutputFolder(options))),
      FHvscDir(WithTrailingDelimiter(options.HvscDir)),
      FFilterFile(options.FilterFile),
      FFilterIDs(options.FilterIDs),
      FHvscListings(std::make_unique<THvscListings>()),
      FZipper(std::make_unique<TZipWorker>(GameSettings(options), *FHvscListings)),
      FAutoSwap(options.AutoSwap),
      FExtractT64(options.ExtractT64),
      FForceUppercase1541U(options.ForceUppercase),
      FTestMode(options.TestMode),
      FKeepGoing(options.KeepGoing),
      FJobs(std::clamp(JobThreads(options), 1, kMaxJobs)),
      FFingerprint(OptionsFingerprint(options)),
      FUpdate(options.Update) {
  // Each thread that reads ahead has its own reader and compiled patterns.
  for (int t = 0; t < std::max(PipelineThreads(), 1); ++t) {
    FWorkers.push_back(std::make_unique<TZipWorker>(GameSettings(options), *FHvscListings));
  }
}

TWorkThread::~TWorkThread() { StopAndWait(); }

void TWorkThread::UpdateProgress(std::string status) {
  FStatus = std::move(status);
  if (FOnProgressUpdate) FOnProgressUpdate(FStatus);
}

void TWorkThread::Fail(std::string message) {
  FOutcome = TJobOutcome::joFailed;
  UpdateProgress(std::move(message));
  Terminate();
}

void TWorkThread::Execute() {
  try {
    if (FFilterIDs && !LoadFilter()) return;
    FUpdate = FUpdate && !FindManifest(Card()).empty();
    if (FUpdate) LoadOldManifest();
    UpdateProgress("Scanning zip files.");
    ScanDirectory(FSourceDir, ArchiveList);
    if (!Terminated()) AdjustFolderNames();
    if (!Terminated()) SortArchives();
    if (!Terminated()) BuildOutputMatrix();
    if (!Terminated()) UpdateProgress("Extracting archives...");
    if (!Terminated()) MakeFolderNamesUnique();
    if (FUpdate && !Terminated()) PlanUpdate();
    // Test mode reports what an update would do, and writes nothing.
    const bool planOnly = FUpdate && FTestMode;
    if (FUpdate && !planOnly && !Terminated()) StageUpdate();
    if (!planOnly && !Terminated()) ExtractArchives();
    if (!planOnly && !Terminated()) WriteGameList();
    if (!FTestMode && !Terminated()) WriteManifestFile();
    if (FUpdate && !FTestMode && !Terminated()) FinishUpdate();
    KeepUnfinishedManifest();
    FlushCard();
    // One reading of the flag decides both the outcome and the summary.
    const bool aborted = Terminated();
    FOutcome = aborted ? TJobOutcome::joAborted : TJobOutcome::joFinished;
    UpdateProgress(BuildSummary(aborted));
  } catch (const std::exception& e) {
    // An error that a stage does not handle ends the job without a summary.
    // The user still learns why: the message goes in front of the last
    // status, which names the game or folder at hand.
    const std::string last = FStatus;
    FOutcome = TJobOutcome::joFailed;
    KeepUnfinishedManifest();
    try {
      if (!FTestMode && FCard && IsRemovableCardFileSystem(FDestDir)) FCard->Sync();
    } catch (const Error&) {
      // The error at hand is the one to report.
    }
    UpdateProgress("ERROR: " + ClipText(e.what(), kMaxMessageText) + (last.empty() ? "" : "\r\n" + last) + "\r\n" +
                   kUnfinished);
  }
}

bool TWorkThread::LoadFilter() {
  UpdateProgress("Loading RomLister Game IDs...");
  try {
    FRomList = std::make_unique<TRomList>(FFilterFile);
  } catch (const std::exception& e) {
    Fail(std::string("Fatal error loading RomList. ") + e.what());
    return false;
  }
  if (FRomList->IDCount() <= 0) {
    Fail("ERROR: filter RomList contains no Game IDs. Did you export with Game IDs? Disable filter option or "
         "correct the problem.");
    return false;
  }
  return true;
}

void TWorkThread::AdjustFolderNames() {
  const TFolderNamer namer(FFileNameStyle, FForceUppercase1541U);
  for (TArcInfo& info : ArchiveList) {
    if (Terminated()) break;
    UpdateProgress("Adjusting folder names.\r\n" + ClipText(Utf16ToUtf8(info.Name)));
    namer.Adjust(info);
  }
}

void TWorkThread::SortArchives() {
  UpdateProgress("Sorting...");
  SortArchiveList(ArchiveList);
}

void TWorkThread::BuildOutputMatrix() {
  UpdateProgress("Building output matrix...");
  vq::BuildOutputMatrix(ArchiveList, [this] { return Terminated(); });
}

void TWorkThread::MakeFolderNamesUnique() {
  vq::MakeFolderNamesUnique(ArchiveList, FFileNameStyle, [this] { return Terminated(); });
}

void TWorkThread::WriteManifestFile() {
  // Completed last: an output folder has a record only when it is complete,
  // and without its record it counts as unfinished, game list or not.
  try {
    if (!FManifest) FManifest = std::make_unique<TManifestWriter>(Card(), kManifestName, FFingerprint);
    if (!FGameListFile.Name.empty()) FManifest->AddFile(FGameListFile);
    FManifest->Commit();
    FManifest.reset();
  } catch (const Error&) {
    if (FCard->Exists(GameListName(FFileNameStyle))) FCard->Remove(GameListName(FFileNameStyle));
    throw;
  }
}

void TWorkThread::KeepUnfinishedManifest() noexcept {
  // A fresh job that ends before its record is complete keeps the record of
  // the games it finished: an update resumes the job from it. An update
  // has its old record to go back to.
  if (!FManifest) return;
  if (!FUpdate) {
    try {
      FManifest->Keep();
    } catch (const Error&) {
      // Without it, the folder counts as unfinished and is written anew.
    }
  }
  FManifest.reset();
}

void TWorkThread::RecordGame(const TManifestGame& record) {
  if (FManifest) FManifest->Add(record);
}

const TCardFolder& TWorkThread::Card() {
  // Every path the job touches in the output folder is resolved beneath it;
  // the folder is opened when the job first needs it.
  if (!FCard) FCard = std::make_unique<TCardFolder>(FDestDir);
  return *FCard;
}

TZipWorker& TWorkThread::Worker(int thread) { return *FWorkers[static_cast<size_t>(thread)]; }

std::string TWorkThread::BuildSummary(bool aborted) const {
  std::string status;
  if (aborted) {
    status = "Aborted.";
  } else if (FTestMode && FUpdate) {
    status = "Done [Test mode only; nothing was written.]";
  } else if (FTestMode) {
    status = "Done [Test mode only; See GameList.csv for results.]";
  } else {
    status = "Done.";
  }
  status = Format("%s %d archives scanned, %d invalid, %d excluded by filter. %d games extracted.", status.c_str(),
                  FScannedArchives, FIgnoredZipfiles, FFilteredCount, FGameCount);
  if (FIncludeSIDs) status = Format("%s %d SIDs included, %d not found.", status.c_str(), FSIDCount, FSIDErrors);
  if (FFailedGames > 0) status = Format("%s %d games failed.", status.c_str(), FFailedGames);
  if (FUnreadableFolders > 0) {
    status = Format("%s %d folders could not be read.", status.c_str(), FUnreadableFolders);
  }
  if (!FUnknownFileExtensionsFound.empty()) {
    status = Format("%s {Warning: unknown file extensions encountered: %s}", status.c_str(),
                    FUnknownFileExtensionsFound.c_str());
  }
  if (FUpdate) status += " " + UpdateText();
  if (aborted) status += std::string(" ") + kUnfinished;
  return status;
}

}  // namespace vq
