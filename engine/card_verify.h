#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/manifest.h"
#include "engine/thread.h"
#include "engine/work_thread.h"

namespace vq {

class TCardFolder;

// What is wrong with one file the record lists.
enum class TVerifyProblem {
  vpMissing,  // not there, or no longer a file
  vpChanged,  // its size or its CRC-32 differs from the record's
};

// One file the record lists that is not as the job left it.
struct TVerifyFile {
  std::string Path;  // relative to the output folder
  TVerifyProblem Problem = TVerifyProblem::vpMissing;
  std::string Detail;  // for a changed file: what differs, as "size 174848, recorded 174850"
};

// One game with a file that is not as the job left it.
struct TVerifyGame {
  std::string Name;    // its title
  std::string Folder;  // its game folder, relative, ending in '/'
  std::vector<TVerifyFile> Files;
};

// What a verify found, in the record's order.
struct TVerifyReport {
  std::string Record;     // the record read, full path
  int RecordVersion = 0;  // 1 and 2 hold no CRC-32; 1 holds no sizes either
  int64_t Games = 0;      // games the record lists
  int64_t Files = 0;      // files the record lists, the game list included
  int64_t FilesRead = 0;  // files read whole to check their CRC-32
  int64_t BytesRead = 0;
  int64_t Missing = 0;
  int64_t Changed = 0;
  int64_t Unchecked = 0;
  // The folders' order was compared: only on a FAT or exFAT card, which
  // lists a folder in the order its entries were made.
  bool OrderChecked = false;  // files whose record holds no CRC-32 (size alone compared) or no size (presence alone)
  std::vector<TVerifyGame> GamesWithProblems;  // per game, its missing and changed files
  std::vector<TVerifyFile> OwnFiles;           // the game list, when it is missing or changed
  std::vector<std::string> NotWritten;         // entries the job did not write ("…/" for a folder)
  std::vector<std::string> OutOfOrder;         // folders whose listing order differs from the job's ("" the top)

  // True when every file matches and every folder is in the job's order;
  // entries the job did not write do not count against it.
  bool Clean() const { return Missing == 0 && Changed == 0 && OutOfOrder.empty(); }
};

// True when the entries of `listed` that `expected` names stand in its order.
bool InJobOrder(const std::vector<std::string>& listed, const std::vector<std::string_view>& expected);

// The CRC-32 of the file `path` of `card`, read whole through `buffer`;
// adds the bytes read to `bytes`. Throws vq::Error naming the file.
int64_t CardFileCrc(const TCardFolder& card, const std::string& path, std::vector<char>& buffer, int64_t& bytes);

// The counts of `report` on one line, as the summary shows them.
std::string VerifySummary(const TVerifyReport& report);

// Verifies an output folder against its record, on a thread of its own:
// reads every file the record lists (its size and CRC-32), lists every
// folder of the job's tree (what the job did not write, and the order).
// Writes nothing and never follows a link. Reports "Verifying the card
// (n/m)" while it reads. Ends failed, with the reason as its status, when
// there is nothing to verify: no record, a refused record, or one left by a
// job or update that was cut off.
class TCardVerifier : public TThread {
 public:
  // Verifies `outputFolder` with `jobs` threads reading (at least one).
  TCardVerifier(std::string outputFolder, int jobs);
  ~TCardVerifier() override;

  // Set before Start.
  void SetOnProgressUpdate(TOnProgressUpdate callback) { onProgress_ = std::move(callback); }
  // Set before Start: the record as a check before read it; else it is read.
  void SetRecord(std::shared_ptr<const TManifest> record) { record_ = std::move(record); }

  // Read these only from the termination notice or after the thread ended.
  TJobOutcome Outcome() const { return outcome_; }
  const std::string& Status() const { return status_; }
  const TVerifyReport& Report() const { return report_; }

 protected:
  void Execute() override;

 private:
  void UpdateProgress(std::string status);
  void CheckGames(const TCardFolder& card);
  void CheckOwnFiles(const TCardFolder& card);
  void CheckFolders(const TCardFolder& card);

  std::string outputFolder_;
  int jobs_;
  TOnProgressUpdate onProgress_;
  std::shared_ptr<const TManifest> record_;
  TVerifyReport report_;
  std::string status_;
  TJobOutcome outcome_ = TJobOutcome::joRunning;
};

}  // namespace vq
