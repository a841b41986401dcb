#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/regex.h"
#include "engine/arc_info.h"
#include "engine/thread.h"
#include "filter/rom_list.h"
#include "zip/zip_reader.h"

namespace vq {

// The status callback: receives each status text (UTF-8), on the thread the
// dispatcher runs calls on.
using TOnProgressUpdate = std::function<void(const std::string&)>;

// How a job ended.
enum class TJobOutcome { joRunning, joFinished, joAborted, joFailed };

// One job: from the scan of the source tree to the game list, on a worker
// thread of its own. Folder texts use '/' and always end in it.
class TWorkThread : public TThread {
 public:
  // ASourceDir and ADestDir are never empty. ADestDir is the output folder
  // itself. The object starts suspended.
  TWorkThread(std::string ASourceDir, std::string ADestDir, std::string AHvscDir, std::string AFilterFile,
              TFileNameStyle FileNameStyle, TNFOStyle NFOStyle, bool IncludeSIDs, bool FilterIDs, bool AutoSwap,
              bool ExtractT64, bool ForceUppercase, bool TestMode);
  ~TWorkThread() override;

  // Set before Start.
  void SetOnProgressUpdate(TOnProgressUpdate callback) { FOnProgressUpdate = std::move(callback); }

  int32_t LoadedArchives() const { return FLoadedArchives; }
  int32_t IgnoredZips() const { return FIgnoredZipfiles; }
  int32_t GameCount() const { return FGameCount; }
  int32_t SIDCount() const { return FSIDCount; }
  int32_t SIDErrors() const { return FSIDErrors; }
  int32_t FilterCount() const { return FFilteredCount; }
  bool FilterIDs() const { return FFilterIDs; }
  int32_t ScannedArchives() const { return FScannedArchives; }
  int32_t LoadedDirectories() const { return FLoadedDirectories; }
  int32_t ExtractedTapeArchives() const { return FExtractedTapeArchives; }
  int32_t ExtractedTapeFiles() const { return FExtractedTapeFiles; }
  int32_t TapeArchivesNotExtracted() const { return FTapeArchivesNotExtracted; }
  const std::string& UnknownFileExtensionsFound() const { return FUnknownFileExtensionsFound; }
  const std::string& SourceDir() const { return FSourceDir; }
  const std::string& DestDir() const { return FDestDir; }
  const std::string& HvscDir() const { return FHvscDir; }
  // The last status text. Read it only from the termination notice or after
  // the thread has ended.
  const std::string& Status() const { return FStatus; }
  // How the job ended; joRunning until Execute returns.
  TJobOutcome Outcome() const { return FOutcome; }
  // The games. Read only from the termination notice or after the end.
  const TArchiveList& Archives() const { return ArchiveList; }

 protected:
  void Execute() override;

 private:
  // Sets FStatus and reports it through the dispatcher; waits for it.
  void UpdateProgress(std::string status);
  void ReportStatus();
  void RunPhases();
  void ScanDirectory(const std::string& ADir, TArchiveList& AList);
  void ScanArchive(const std::string& ADir, const std::string& fileName, TArchiveList& AList);
  void AdjustFolderNames();
  void BuildOutputMatrix();
  void ExtractArchives();
  bool CopySIDFile(const std::string& Source, std::string Dest) const;
  void WriteGameList();
  std::string BuildSummary(bool aborted) const;

  TFileNameStyle FFileNameStyle;
  TNFOStyle FNFOStyle;
  bool FIncludeSIDs;
  std::string FSourceDir;
  std::string FDestDir;
  std::string FHvscDir;
  TOnProgressUpdate FOnProgressUpdate;
  int32_t FLoadedDirectories = 0;
  int32_t FLoadedArchives = 0;
  int32_t FScannedArchives = 0;
  int32_t FIgnoredZipfiles = 0;
  int32_t FExtractedTapeArchives = 0;
  int32_t FExtractedTapeFiles = 0;
  int32_t FTapeArchivesNotExtracted = 0;
  int32_t FGameCount = 0;
  int32_t FSIDCount = 0;
  int32_t FSIDErrors = 0;
  std::string FFilterFile;
  bool FFilterIDs;
  int32_t FFilteredCount = 0;
  TArchiveList ArchiveList;
  TZipReader FZipper;
  Regex FNameRegex;
  Regex FSIDRegex;
  Regex FRegexUniqueID;
  Regex FRegexReformat;
  std::string FStatus;
  std::unique_ptr<TRomList> FRomList;
  bool FAutoSwap;
  bool FExtractT64;
  bool FForceUppercase1541U;
  std::string FUnknownFileExtensionsFound;
  bool FTestMode;
  TJobOutcome FOutcome = TJobOutcome::joRunning;
};

}  // namespace vq
