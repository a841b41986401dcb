#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <cerrno>
#include <string>
#include <vector>

#include "base/collator.h"
#include "base/error.h"
#include "base/fat_name.h"
#include "base/file_system.h"
#include "base/shell_delete.h"
#include "base/text.h"
#include "engine/folder_partition.h"
#include "engine/hvsc_path.h"
#include "engine/ordered_pipeline.h"
#include "engine/zip_work.h"
#include "engine/text_file.h"
#include "engine/work_thread.h"
#include "zip/zip_reader.h"
#include "tape/t64_archive.h"

namespace vq {

namespace {

// Errors of the destination itself: no other game could be written either.
bool EndsTheJob(int code) { return code == ENOSPC || code == EDQUOT || code == EROFS; }

// The extension of a file name from its last dot, dot included, upper-cased;
// empty without a dot.
std::u16string UpperExtension(const std::string& fileName) {
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos) return {};
  return UpperCase(Utf8ToUtf16(std::string_view(fileName).substr(dot)));
}

// Adds `item` to a list sorted by `collator`, unless an item equal to it
// ignoring case is there already.
void AddSortedUnique(const TCollator& collator, std::vector<std::u16string>& list, std::u16string item) {
  const auto pos = std::lower_bound(list.begin(), list.end(), item,
                                    [&](const auto& a, const auto& b) { return collator.Compare(a, b) < 0; });
  if (pos != list.end() && collator.Compare(*pos, item) == 0) return;
  list.insert(pos, std::move(item));
}

// A control character: C0, DEL or C1.
bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Items joined by commas; an item with a blank, a control character, a comma
// or a double quote is quoted, its quotes doubled; a lone empty item is "".
std::u16string CommaText(const std::vector<std::u16string>& items) {
  if (items.size() == 1 && items[0].empty()) return u"\"\"";
  std::u16string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += u',';
    const std::u16string& item = items[i];
    const bool quote =
        std::any_of(item.begin(), item.end(), [](char16_t c) { return c == u' ' || IsControl(c) || c == u',' || c == u'"'; });
    if (!quote) {
      out += item;
      continue;
    }
    out += u'"';
    for (char16_t c : item) {
      if (c == u'"') out += u'"';
      out += c;
    }
    out += u'"';
  }
  return out;
}

}  // namespace

namespace {

// Closes this thread's zip reader when a game's work ends, also by an error.
class TZipCloser {
 public:
  explicit TZipCloser(TZipReader& reader) : reader_(reader) {}
  ~TZipCloser() { reader_.Close(); }
  TZipCloser(const TZipCloser&) = delete;
  TZipCloser& operator=(const TZipCloser&) = delete;

 private:
  TZipReader& reader_;
};

// Writes an entry read ahead from `zip` as the zip reader writes one: the
// folders first, then the file, which a failure removes again; an error
// names the zip.
void WriteNewFile(const std::string& zip, const std::string& target, const std::vector<uint8_t>& data) {
  auto fail = [&zip](const std::string& cause, int code) {
    throw Error(ClipText(zip) + ": " + ClipText(cause, kMaxMessageText), code);
  };
  const std::string folder = ExtractFilePath(target);
  if (!ForceDirectories(folder)) {
    const int err = errno;
    fail(SystemError(folder, err).what(), err);
  }
  try {
    TNewFile out(target);
    out.Write(data.data(), data.size());
    out.Commit();
  } catch (const Error& e) {
    fail(e.what(), e.Code());
  }
}

// Games read ahead of the one being written, per thread.
constexpr size_t kGamesAheadPerThread = 16;

// Sets a flag when it goes out of scope: tells the threads that read ahead
// to give up before their pipeline is joined.
class TQuitOnExit {
 public:
  explicit TQuitOnExit(std::atomic<bool>& flag) : flag_(flag) {}
  ~TQuitOnExit() { flag_ = true; }
  TQuitOnExit(const TQuitOnExit&) = delete;
  TQuitOnExit& operator=(const TQuitOnExit&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

void TWorkThread::ExtractArchives() {
  const size_t n = ArchiveList.size();
  const int threads = PipelineThreads();
  TByteBudget budget(kPreparedBytesCap);
  std::atomic<size_t> writing{0};  // the game this thread writes or waits for
  std::atomic<bool> quit{false};
  const std::function<bool()> stopped = [&] { return quit || Terminated(); };
  TOrderedPipeline<TPreparedGame> pipeline(
      n, threads, kGamesAheadPerThread * static_cast<size_t>(threads),
      [&](size_t i, int thread) {
        return Worker(thread).Prepare(ArchiveList[i], threads ? &budget : nullptr,
                                      [&writing, i] { return writing == i; }, stopped);
      },
      stopped);
  const TQuitOnExit quitOnExit(quit);
  for (size_t i = 0; i < n; ++i) {
    if (Terminated()) break;
    TArcInfo& game = ArchiveList[i];
    writing = i;
    std::optional<TPreparedGame> prepared = pipeline.Take();
    if (!prepared) break;
    // A game whose status was shown is finished, even when the job is told
    // to stop meanwhile.
    ReportGame(game, i, n);
    try {
      ExtractGame(game, n, *prepared);
    } catch (const Error& e) {
      if (!FKeepGoing || EndsTheJob(e.Code())) throw;
      DropGame(game, e.what());
    }
  }
  FUnknownFileExtensionsFound = UnknownExtensionsText();
}

void TWorkThread::ReportGame(const TArcInfo& game, size_t index, size_t count) {
  std::string status = Format("Extracting archives (%d/%d)\r\n", static_cast<int>(index + 1), static_cast<int>(count)) +
                       ClipText(ExtractFileName(game.ZipFile)) + "\r\n(" + ClipText(Utf16ToUtf8(game.Name)) + ")";
  if (FTestMode) status += "\r\n[Test Mode!]";
  UpdateProgress(std::move(status));
}

void TWorkThread::ExtractGame(TArcInfo& game, size_t count, TPreparedGame& prepared) {
  const std::string gameFolder = CreateGameFolder(game, count);
  {
    const TZipCloser closer(FZipper->Reader());
    TakePlan(game, prepared);
    if (FAutoSwap) WriteAutoSwap(prepared.Plan, gameFolder);
    const bool tapeError = ExtractEntries(prepared.Plan, game, gameFolder);
    WriteNFO(game, gameFolder, prepared);
    NoteExtraction(game, tapeError);
    ++FGameCount;
  }
  if (FIncludeSIDs && !game.SIDFile.empty()) CopySIDs(game, gameFolder);
}

void TWorkThread::TakePlan(TArcInfo& game, TPreparedGame& prepared) {
  FGameFiles = std::move(prepared.Files);
  for (std::u16string& ext : prepared.UnknownExtensions) AddSortedUnique(FCollator, FUnknownExtensions, std::move(ext));
  game.UnhandledFileCount += prepared.UnhandledFileCount;
  // The zip could not be opened or listed: the game fails here, where it
  // would have failed had this thread read the zip itself.
  if (prepared.OpenError) std::rethrow_exception(prepared.OpenError);
}

TZipReader& TWorkThread::OpenZip() {
  // What was not read ahead is read here, from the zip opened once per game.
  TZipReader& reader = FZipper->Reader();
  if (!reader.IsOpen()) {
    reader.SetFileName(FGameZip);
    reader.SetBaseFolder(FGameFolder);
    reader.Open();
  }
  return reader;
}

void TWorkThread::DropGame(TArcInfo& game, const std::string& cause) {
  // What the game left is removed: a game is on the card whole or not at all.
  // A folder that an earlier game of the same name and ID made keeps that
  // game's files.
  if (!FTestMode && !game.RealOutPath.empty()) {
    const std::string gameFolder = FDestDir + Utf16ToUtf8(game.RealOutPath);
    if (FGameFolderMade) {
      TShellDelete(nullptr).Delete(gameFolder);
    } else {
      for (const std::string& path : FGameFiles.Paths()) ::unlink((gameFolder + path).c_str());
    }
  }
  game.ExtractedFileCount = 0;
  game.ExtractionStatus += u" not extracted: " + Utf8ToUtf16(ClipText(cause, kMaxMessageText));
  ++FFailedGames;
}

std::string TWorkThread::CreateGameFolder(TArcInfo& game, size_t count) {
  game.RealOutPath = PlaceGame(game, count);
  std::string gameFolder = FDestDir + Utf16ToUtf8(game.RealOutPath);
  FGameFolderMade = !DirectoryExists(gameFolder);
  FGameFiles.Clear();
  FGameZip = game.ZipFile;
  FGameFolder = gameFolder;
  if (!FTestMode && !ForceDirectories(gameFolder)) {
    const int err = errno;
    throw SystemError(Format("Unable to create directory \"%s\"", ClipText(gameFolder).c_str()), err);
  }
  return gameFolder;
}

void TWorkThread::WriteAutoSwap(const std::vector<TPlannedEntry>& plan, const std::string& gameFolder) {
  // The disks under the names they are written with.
  std::vector<std::u16string> d64Names;
  for (const TPlannedEntry& p : plan) {
    if (p.Tape || UpperExtension(p.Entry.FileName) != u".D64") continue;
    d64Names.push_back(Utf8ToUtf16(p.Target.empty() ? p.Entry.FileName : ExtractFileName(p.Target)));
  }
  if (d64Names.size() < 2) return;
  std::sort(d64Names.begin(), d64Names.end(), [&](const auto& a, const auto& b) { return FCollator.Less(a, b); });
  if (!FTestMode) WriteTextLines(gameFolder + "AUTOSWAP.LST", d64Names);
}

bool TWorkThread::ExtractEntries(std::vector<TPlannedEntry>& plan, TArcInfo& game, const std::string& gameFolder) {
  bool tapeError = false;
  for (TPlannedEntry& p : plan) {
    if (p.Tape) {
      if (!ConvertTape(p, game, gameFolder)) tapeError = true;
      continue;
    }
    // The entry itself, at its stored path made valid and unique.
    if (!FTestMode && !p.Target.empty()) WriteEntry(p, gameFolder);
    ++game.ExtractedFileCount;
  }
  return tapeError;
}

void TWorkThread::WriteEntry(TPlannedEntry& p, const std::string& gameFolder) {
  if (!p.Ready) {
    OpenZip().ExtractEntryTo(p.Entry, p.Target);
    return;
  }
  WriteNewFile(FGameZip, gameFolder + p.Target, p.Data);
  std::vector<uint8_t>().swap(p.Data);
}

bool TWorkThread::ConvertTape(TPlannedEntry& p, TArcInfo& game, const std::string& gameFolder) {
  // Read from where the search found it, also inside a sub-folder. A tape
  // too large to hold is an error of this game's tape, not of the job.
  std::vector<uint8_t> tapeBuffer = std::move(p.Data);
  if (!p.Ready) {
    try {
      OpenZip().ExtractEntryToMemory(p.Entry, tapeBuffer, kMaxTapeBytes);
    } catch (const Error& e) {
      if (e.Code() != EFBIG) throw;
      tapeBuffer.clear();
    }
  }
  const Tt64Archive tape(tapeBuffer, p.Entry.FileName);
  const int32_t written =
      tape.ExtractToPxx(gameFolder, FTestMode, [this](const std::string& name) { return FGameFiles.Claim(name); });
  if (written <= 0) {
    ++FTapeArchivesNotExtracted;
    return false;
  }
  FExtractedTapeFiles += written;
  ++FExtractedTapeArchives;
  ++game.ExtractedFileCount;
  return true;
}

void TWorkThread::WriteNFO(const TArcInfo& game, const std::string& gameFolder, TPreparedGame& prepared) {
  if (FNFOStyle == nsOptimize) {
    const std::vector<std::u16string> nfoLines =
        prepared.NfoReady ? std::move(prepared.NfoLines) : FZipper->ReformattedNfo(OpenZip(), game);
    if (!FTestMode) WriteTextLines(gameFolder + "VERSION.NFO", nfoLines);
  } else if (FNFOStyle == nsNoOptimize && !FTestMode) {
    // Only the NFO at the zip's root is the game's.
    if (prepared.NfoReady) {
      WriteNewFile(FGameZip, gameFolder + prepared.NfoName, prepared.NfoBytes);
    } else {
      OpenZip().ExtractRootEntry("VERSION.NFO");
    }
  }
}

void TWorkThread::NoteExtraction(TArcInfo& game, bool tapeError) const {
  if (game.ExtractedFileCount == 0) {
    game.ExtractionStatus += u" No Files Extracted.";
  } else if (game.UnhandledFileCount > 0) {
    game.ExtractionStatus += u" Unexpected files ignored.";
  }
  if (tapeError) game.ExtractionStatus += u" T64 file extraction error.";
  if (FGameFiles.Renamed()) game.ExtractionStatus += u" Files of equal names renamed.";
}

void TWorkThread::CopySIDs(TArcInfo& game, const std::string& gameFolder) {
  const std::string sidFile = Utf16ToUtf8(game.SIDFile);
  const std::string base = Utf16ToUtf8(SidBaseName(game.SIDFile));
  const bool sidCopied = CopySIDFile(ResolveHvscPath(FHvscDir, sidFile + ".sid"), gameFolder + base + ".sid");
  const bool prgCopied = CopySIDFile(ResolveHvscPath(FHvscDir, sidFile + ".prg"), gameFolder + base + "_SID.prg");
  if (sidCopied || prgCopied) {
    ++FSIDCount;
  } else {
    ++FSIDErrors;
    game.ExtractionStatus += u" Missing SID.";
  }
}

bool TWorkThread::CopySIDFile(const std::string& Source, const std::string& Dest) {
  if (!FileExists(Source)) return false;
  if (FTestMode) return true;
  return CopyFileReplacing(Source, ExtractFilePath(Dest) + FZipper->SidCopyName(ExtractFileName(Dest)));
}

void TWorkThread::FlushCard() {
  // A card pulled after the summary must hold everything: the devices' file
  // systems are not flushed by the kernel until long after.
  if (FTestMode || !IsRemovableCardFileSystem(FDestDir)) return;
  UpdateProgress("Flushing to the card...");
  SyncFileSystem(FDestDir);
}

std::string TWorkThread::UnknownExtensionsText() const {
  constexpr size_t kShown = 50;
  if (FUnknownExtensions.size() <= kShown) return Utf16ToUtf8(CommaText(FUnknownExtensions));
  const std::vector<std::u16string> shown(FUnknownExtensions.begin(), FUnknownExtensions.begin() + kShown);
  return Utf16ToUtf8(CommaText(shown)) + Format(" and %d more", static_cast<int>(FUnknownExtensions.size() - kShown));
}

}  // namespace vq
