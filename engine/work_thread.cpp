#include "engine/work_thread.h"

#include <exception>

#include "base/error.h"
#include "base/text.h"
#include "engine/folder_names.h"
#include "engine/folder_partition.h"
#include "engine/nfo_reformat.h"

namespace vq {

namespace {

// The NFO fields: title, SID path and unique ID.
constexpr const char* kNamePattern = "^Name:\\s*([^\\r\\n]+)$";
constexpr const char* kSIDPattern = "^SID:\\s{2,20}([^\\r\\n]+)\\.sid$";
constexpr const char* kUniqueIDPattern = "^Unique-ID:\\s*(\\d+)\\s*?$";
constexpr unsigned kFieldOptions = Regex::kUtf8 | Regex::kNewlineAny | Regex::kCaseless | Regex::kMultiline;

std::string WithTrailingDelimiter(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

TWorkThread::TWorkThread(std::string ASourceDir, std::string ADestDir, std::string AHvscDir,
                         std::string AFilterFile, TFileNameStyle FileNameStyle, TNFOStyle NFOStyle, bool IncludeSIDs,
                         bool FilterIDs, bool AutoSwap, bool ExtractT64, bool ForceUppercase, bool TestMode)
    : FFileNameStyle(FileNameStyle),
      FNFOStyle(NFOStyle),
      FIncludeSIDs(IncludeSIDs),
      FSourceDir(WithTrailingDelimiter(std::move(ASourceDir))),
      FDestDir(WithTrailingDelimiter(std::move(ADestDir))),
      FHvscDir(WithTrailingDelimiter(std::move(AHvscDir))),
      FFilterFile(std::move(AFilterFile)),
      FFilterIDs(FilterIDs),
      FNameRegex(kNamePattern, kFieldOptions),
      FSIDRegex(kSIDPattern, kFieldOptions),
      FRegexUniqueID(kUniqueIDPattern, kFieldOptions),
      FRegexReformat(kReformatPattern, kReformatOptions),
      FAutoSwap(AutoSwap),
      FExtractT64(ExtractT64),
      FForceUppercase1541U(ForceUppercase),
      FTestMode(TestMode) {}

TWorkThread::~TWorkThread() { StopAndWait(); }

void TWorkThread::UpdateProgress(std::string status) {
  FStatus = std::move(status);
  ReportStatus();
}

void TWorkThread::ReportStatus() {
  Synchronize([this] {
    if (FOnProgressUpdate) FOnProgressUpdate(FStatus);
  });
}

void TWorkThread::Execute() {
  try {
    RunPhases();
  } catch (const std::exception& e) {
    // An error that a phase does not handle ends the job without a summary.
    // The user still learns why: the message goes in front of the last status,
    // which names the game or folder at hand.
    FOutcome = TJobOutcome::joFailed;
    const std::string last = FStatus;
    UpdateProgress(std::string("ERROR: ") + e.what() + (last.empty() ? "" : "\r\n" + last));
  }
}

void TWorkThread::RunPhases() {
  if (FFilterIDs) {
    UpdateProgress("Loading RomLister Game IDs...");
    try {
      FRomList = std::make_unique<TRomList>(FFilterFile);
    } catch (const std::exception& e) {
      FOutcome = TJobOutcome::joFailed;
      UpdateProgress(std::string("Fatal error loading RomList. ") + e.what());
      Terminate();
      return;
    }
    if (FRomList->IDCount() <= 0) {
      FOutcome = TJobOutcome::joFailed;
      UpdateProgress(
          "ERROR: filter RomList contains no Game IDs. Did you export with Game IDs? Disable filter option or "
          "correct the problem.");
      Terminate();
      return;
    }
  }

  UpdateProgress("Scanning zip files.");
  ScanDirectory(FSourceDir, ArchiveList);

  if (!Terminated()) {
    AdjustFolderNames();
    UpdateProgress("Sorting...");
    SortArchiveList(ArchiveList);
  }
  if (!Terminated()) {
    UpdateProgress("Building output matrix...");
    BuildOutputMatrix();
  }
  if (!Terminated()) {
    UpdateProgress("Extracting archives...");
    ExtractArchives();
  }
  if (!Terminated()) WriteGameList();

  // One reading of the flag decides both the outcome and the summary.
  const bool aborted = Terminated();
  FOutcome = aborted ? TJobOutcome::joAborted : TJobOutcome::joFinished;
  UpdateProgress(BuildSummary(aborted));
}

std::string TWorkThread::BuildSummary(bool aborted) const {
  std::string status;
  if (aborted) {
    status = "Aborted.";
  } else if (FTestMode) {
    status = "Done [Test mode only; See GameList.csv for results.]";
  } else {
    status = "Done.";
  }
  status = Format("%s %d archives scanned, %d invalid, %d excluded by filter. %d games extracted.", status.c_str(),
                  FScannedArchives, FIgnoredZipfiles, FFilteredCount, FGameCount);
  if (FIncludeSIDs) status = Format("%s %d SIDs included, %d not found.", status.c_str(), FSIDCount, FSIDErrors);
  if (!FUnknownFileExtensionsFound.empty()) {
    status = Format("%s {Warning: unknown file extensions encountered: %s}", status.c_str(),
                    FUnknownFileExtensionsFound.c_str());
  }
  return status;
}

void TWorkThread::AdjustFolderNames() {
  const TFolderNamer namer(FFileNameStyle, FForceUppercase1541U);
  for (TArcInfo& info : ArchiveList) {
    if (Terminated()) break;
    UpdateProgress("Adjusting folder names.\r\n" + Utf16ToUtf8(info.Name));
    namer.Adjust(info);
  }
}

void TWorkThread::BuildOutputMatrix() {
  vq::BuildOutputMatrix(ArchiveList, [this] { return Terminated(); });
}

}  // namespace vq
