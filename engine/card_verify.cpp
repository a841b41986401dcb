// Verifying an output folder against its record: every file the record
// lists is read whole and its size and CRC-32 compared; every folder of the
// job's tree is listed, for what the job did not write and for the order
// the devices show. Nothing is written, and every path goes through the
// output folder's handle (TCardFolder), which never follows a link.
#include "engine/card_verify.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "base/crc32.h"
#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "card/card_folder.h"

namespace vq {

namespace {

// Bytes read at a time.
constexpr size_t kReadChunk = size_t{1} << 20;
// How often the progress is reported while the files are read.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// What one folder's listing shows against the job's order of its entries.
struct TFolderFindings {
  std::vector<std::string> NotWritten;
  bool OutOfOrder = false;
};

// The entries of `folder` (its path, "" or ending in '/') that are not in
// `expected` (names, a folder's with '/' after it), and whether those that
// are stand in its order. `ownAtTop` names what the job keeps at the top.
TFolderFindings CheckListing(const TCardFolder& card, const std::string& folder,
                             const std::vector<std::string>& expected, bool orderShown,
                             const std::unordered_set<std::string>& ownAtTop = {}) {
  TFolderFindings findings;
  const std::unordered_set<std::string_view> job(expected.begin(), expected.end());
  std::vector<std::string> listed;
  for (const TCardEntry& entry : card.List(folder)) {
    std::string name = entry.Name + (entry.Kind == TCardKind::ckFolder ? "/" : "");
    if (!job.count(name) && !ownAtTop.count(entry.Name)) findings.NotWritten.push_back(folder + name);
    listed.push_back(std::move(name));
  }
  findings.OutOfOrder = orderShown && !InJobOrder(listed, std::vector<std::string_view>(expected.begin(), expected.end()));
  return findings;
}

// Every folder's children in the order the paths name them: "a/b/c" gives
// "" the child "a/", "a/" the child "b/" and "a/b/" the child "c".
std::map<std::string, std::vector<std::string>> ChildrenOf(const std::vector<std::string>& paths) {
  std::map<std::string, std::vector<std::string>> children;
  std::unordered_set<std::string> seen;
  for (const std::string& path : paths) {
    size_t start = 0;
    for (size_t slash = path.find('/'); start < path.size(); slash = path.find('/', start)) {
      const size_t end = slash == std::string::npos ? path.size() : slash + 1;
      const std::string part = path.substr(0, end);
      if (seen.insert(part).second) children[path.substr(0, start)].push_back(path.substr(start, end - start));
      start = end;
    }
  }
  return children;
}

// A file compared with its record: empty when it matches, else what differs.
class TFileChecker {
 public:
  explicit TFileChecker(const TCardFolder& card) : card_(card), buffer_(kReadChunk) {}

  // Compares the file `path` with `file`; adds a finding to `out` when it
  // differs.
  void Check(const std::string& path, const TManifestFile& file, std::vector<TVerifyFile>& out) {
    ++files_;
    const TCardStat stat = card_.Stat(path);
    if (stat.Kind != TCardKind::ckFile) {
      out.push_back({path, TVerifyProblem::vpMissing, stat.Kind == TCardKind::ckMissing ? "" : "no longer a file"});
      return;
    }
    if (file.Size >= 0 && static_cast<int64_t>(stat.Size) != file.Size) {
      out.push_back({path, TVerifyProblem::vpChanged,
                     Format("size %lld, recorded %lld", static_cast<long long>(stat.Size), static_cast<long long>(file.Size))});
      return;
    }
    if (file.Size < 0 || file.Crc < 0) {
      ++unchecked_;
      return;
    }
    const int64_t crc = Crc(path);
    ++read_;
    if (crc != file.Crc) {
      out.push_back({path, TVerifyProblem::vpChanged,
                     Format("CRC-32 %08x, recorded %08x", static_cast<unsigned>(crc), static_cast<unsigned>(file.Crc))});
    }
  }

  // Adds what this checker counted to `report`.
  void AddCounts(TVerifyReport& report) const {
    report.Files += files_;
    report.FilesRead += read_;
    report.BytesRead += bytes_;
    report.Unchecked += unchecked_;
  }

 private:
  int64_t Crc(const std::string& path) { return CardFileCrc(card_, path, buffer_, bytes_); }

  const TCardFolder& card_;
  std::vector<char> buffer_;
  int64_t files_ = 0, read_ = 0, bytes_ = 0, unchecked_ = 0;
};

// The games of the record that share one game folder: consecutive ones.
struct TFolderUnit {
  size_t First = 0;
  size_t Count = 0;
};

// What one unit of games showed.
struct TUnitFindings {
  std::vector<TVerifyGame> Games;
  std::vector<std::string> NotWritten;
  std::vector<std::string> OutOfOrder;
};

TUnitFindings CheckUnit(const TCardFolder& card, const TManifest& record, const TFolderUnit& unit,
                        TFileChecker& checker, bool orderShown) {
  TUnitFindings found;
  const std::string& folder = record.Games[unit.First].Path;
  std::vector<std::string> names;
  for (size_t j = unit.First; j < unit.First + unit.Count; ++j) {
    const TManifestGame game = record.Game(j);
    TVerifyGame problems{game.Name, folder, {}};
    for (const TManifestFile& file : game.Files) {
      names.push_back(file.Name);
      checker.Check(folder + file.Name, file, problems.Files);
    }
    if (!problems.Files.empty()) found.Games.push_back(std::move(problems));
  }
  // Its folder, and any folder inside it that holds files of the job's.
  const TCardStat stat = card.Stat(folder);
  if (stat.Kind != TCardKind::ckFolder) return found;
  for (const auto& [inner, children] : ChildrenOf(names)) {
    if (!inner.empty() && card.Stat(folder + inner).Kind != TCardKind::ckFolder) continue;
    TFolderFindings listing = CheckListing(card, folder + inner, children, orderShown);
    for (std::string& entry : listing.NotWritten) found.NotWritten.push_back(std::move(entry));
    if (listing.OutOfOrder) found.OutOfOrder.push_back(folder + inner);
  }
  return found;
}

std::vector<TFolderUnit> FolderUnits(const TManifest& record) {
  std::vector<TFolderUnit> units;
  for (size_t j = 0; j < record.Games.size(); ++j) {
    if (!units.empty() && record.Games[units.back().First].Path == record.Games[j].Path) {
      ++units.back().Count;
    } else {
      units.push_back({j, 1});
    }
  }
  return units;
}

}  // namespace

bool InJobOrder(const std::vector<std::string>& listed, const std::vector<std::string_view>& expected) {
  std::unordered_map<std::string_view, size_t> place;
  for (size_t k = 0; k < expected.size(); ++k) place.emplace(expected[k], k);
  size_t next = 0;
  for (const std::string& name : listed) {
    const auto at = place.find(name);
    if (at == place.end()) continue;
    if (at->second < next) return false;
    next = at->second + 1;
  }
  return true;
}

int64_t CardFileCrc(const TCardFolder& card, const std::string& path, std::vector<char>& buffer, int64_t& bytes) {
  const FileHandle file = card.OpenForReading(path);
  ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  if (buffer.empty()) buffer.resize(kReadChunk);
  TCrc32 crc;
  for (;;) {
    const ssize_t n = ::read(file.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SystemError(ClipText(card.FullPath(path)), errno);
    if (n == 0) break;
    crc.Add(buffer.data(), static_cast<size_t>(n));
    bytes += n;
  }
  return crc.Value();
}

std::string VerifySummary(const TVerifyReport& r, bool aborted) {
  std::string text;
  if (aborted) {
    text = "Verify aborted: only part of the card was read.";
  } else {
    text = r.Clean() ? "Card verified: every file matches its record" : "Card verified: it differs from its record";
    text += r.OrderChecked ? (r.Clean() ? " and every folder is in order." : ".") : ".";
  }
  text += Format(" %lld games, %lld files, %.1f MB read: %lld missing, %lld changed", static_cast<long long>(r.Games),
                 static_cast<long long>(r.Files), static_cast<double>(r.BytesRead) / 1e6,
                 static_cast<long long>(r.Missing), static_cast<long long>(r.Changed));
  text += r.OrderChecked ? Format(", %zu folders out of order.", r.OutOfOrder.size())
                         : std::string(". The order was not checked: only a FAT or exFAT card lists a folder in the "
                                       "order of its entries.");
  if (!r.NotWritten.empty()) text += Format(" %zu entries the job did not write.", r.NotWritten.size());
  if (r.Unchecked > 0) {
    text += Format(" %lld files were not read: the record holds no CRC-32 for them (they were written by an older "
                   "version), so only their %s compared.",
                   static_cast<long long>(r.Unchecked), r.RecordVersion == 1 ? "presence was" : "size was");
  }
  return text;
}

TCardVerifier::TCardVerifier(std::string outputFolder, int jobs)
    : outputFolder_(std::move(outputFolder)), jobs_(std::max(jobs, 1)) {}

TCardVerifier::~TCardVerifier() { StopAndWait(); }

void TCardVerifier::UpdateProgress(std::string status) {
  status_ = std::move(status);
  if (onProgress_) onProgress_(status_);
}

void TCardVerifier::Execute() {
  try {
    UpdateProgress("Reading the record...");
    const TCardFolder card(outputFolder_);
    if (!record_) {
      const std::string path = FindManifest(card);
      if (path.empty()) {
        throw Error("\"" + ClipText(outputFolder_) + "\" holds no record of a job: there is nothing to verify.");
      }
      if (path != kManifestName) {
        throw Error("\"" + ClipText(outputFolder_) +
                    "\" holds the record of a job or an update that was cut off: an update finishes it first.");
      }
      record_ = ReadManifest(card, path);
    }
    report_.Record = card.FullPath(kManifestName);
    report_.RecordVersion = record_->Version;
    report_.Games = static_cast<int64_t>(record_->Games.size());
    report_.OrderChecked = IsRemovableCardFileSystem(outputFolder_);
    CheckGames(card);
    if (!Terminated()) CheckOwnFiles(card);
    if (!Terminated()) CheckFolders(card);
    const bool aborted = Terminated();
    outcome_ = aborted ? TJobOutcome::joAborted : TJobOutcome::joFinished;
    UpdateProgress(VerifySummary(report_, aborted));
  } catch (const std::exception& e) {
    outcome_ = TJobOutcome::joFailed;
    UpdateProgress("ERROR: " + ClipText(e.what(), kMaxMessageText));
  }
}

void TCardVerifier::CheckGames(const TCardFolder& card) {
  const std::vector<TFolderUnit> units = FolderUnits(*record_);
  std::vector<TUnitFindings> found(units.size());
  std::atomic<size_t> next{0};
  std::atomic<size_t> gamesDone{0};
  std::mutex failureLock;
  std::exception_ptr failure;
  std::vector<std::unique_ptr<TFileChecker>> checkers;
  checkers.reserve(static_cast<size_t>(jobs_));
  for (int t = 0; t < jobs_; ++t) checkers.push_back(std::make_unique<TFileChecker>(card));
  const auto work = [&](TFileChecker& checker) {
    for (;;) {
      const size_t k = next.fetch_add(1);
      if (k >= units.size() || Terminated()) return;
      try {
        found[k] = CheckUnit(card, *record_, units[k], checker, report_.OrderChecked);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(failureLock);
        if (!failure) failure = std::current_exception();
        Terminate();
        return;
      }
      gamesDone += units[k].Count;
    }
  };
  {
    std::vector<std::jthread> readers;
    readers.reserve(static_cast<size_t>(jobs_));
    for (int t = 0; t < jobs_; ++t) readers.emplace_back(work, std::ref(*checkers[static_cast<size_t>(t)]));
    const size_t total = record_->Games.size();
    while (next.load() < units.size() && !Terminated()) {
      UpdateProgress(Format("Verifying the card (%zu/%zu)", gamesDone.load(), total));
      std::this_thread::sleep_for(kProgressInterval);
    }
  }
  if (failure) std::rethrow_exception(failure);
  for (const auto& checker : checkers) checker->AddCounts(report_);
  for (TUnitFindings& f : found) {
    for (TVerifyGame& game : f.Games) {
      for (const TVerifyFile& file : game.Files) ++(file.Problem == TVerifyProblem::vpMissing ? report_.Missing : report_.Changed);
      report_.GamesWithProblems.push_back(std::move(game));
    }
    for (std::string& entry : f.NotWritten) report_.NotWritten.push_back(std::move(entry));
    for (std::string& folder : f.OutOfOrder) report_.OutOfOrder.push_back(std::move(folder));
  }
}

void TCardVerifier::CheckOwnFiles(const TCardFolder& card) {
  TFileChecker checker(card);
  for (const TManifestFile& file : record_->OwnFiles) checker.Check(file.Name, file, report_.OwnFiles);
  checker.AddCounts(report_);
  for (const TVerifyFile& file : report_.OwnFiles) ++(file.Problem == TVerifyProblem::vpMissing ? report_.Missing : report_.Changed);
}

void TCardVerifier::CheckFolders(const TCardFolder& card) {
  // The folders above the game folders: the output folder, the letter
  // folders and their subfolders.
  UpdateProgress("Verifying the folders' order...");
  std::vector<std::string> paths;
  paths.reserve(record_->Games.size());
  for (const TManifestEntry& game : record_->Games) paths.push_back(game.Path);
  std::unordered_set<std::string> ownAtTop = {kManifestName, kUnfinishedManifestName, kUpdateHolder,
                                              kSecondUpdateHolder};
  for (const TManifestFile& file : record_->OwnFiles) ownAtTop.insert(file.Name);
  for (const char* list : {"GameList.csv", "gamelist.csv"}) ownAtTop.insert(std::string(list) + ".tmp");
  std::vector<std::string> outOfOrder;
  for (const auto& [folder, children] : ChildrenOf(paths)) {
    if (Terminated()) return;
    if (!folder.empty() && card.Stat(folder).Kind != TCardKind::ckFolder) continue;
    TFolderFindings listing = CheckListing(card, folder, children, report_.OrderChecked,
                                           folder.empty() ? ownAtTop : std::unordered_set<std::string>{});
    for (std::string& entry : listing.NotWritten) report_.NotWritten.push_back(std::move(entry));
    if (listing.OutOfOrder) outOfOrder.push_back(folder);
  }
  // Outer folders first, then the game folders in the record's order.
  outOfOrder.insert(outOfOrder.end(), report_.OutOfOrder.begin(), report_.OutOfOrder.end());
  report_.OutOfOrder = std::move(outOfOrder);
}

}  // namespace vq
