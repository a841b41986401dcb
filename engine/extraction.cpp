#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/collator.h"
#include "base/crc32.h"
#include "base/error.h"
#include "base/fat_name.h"
#include "base/file_system.h"
#include "base/text.h"
#include "engine/folder_partition.h"
#include "engine/game_write.h"
#include "engine/hvsc_path.h"
#include "engine/ordered_pipeline.h"
#include "engine/zip_work.h"
#include "engine/text_file.h"
#include "engine/work_thread.h"
#include "card/card_folder.h"
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

// Records what a file left once it is complete: its size, time and CRC-32.
// The CRC-32 of a zip entry's bytes is the one the archive states, which
// the zip reader checks them against; any other file's is computed here.
class TRecordedFile : public TFileSink {
 public:
  TRecordedFile(std::unique_ptr<TCardFile> file, std::string name, std::vector<TManifestFile>& written,
                int64_t knownCrc)
      : file_(std::move(file)), name_(std::move(name)), written_(written), known_crc_(knownCrc) {}
  void Write(const void* data, size_t size) override {
    file_->Write(data, size);
    if (known_crc_ < 0) crc_.Add(data, size);
  }
  void Commit() override {
    file_->Commit();
    written_.push_back({name_, static_cast<int64_t>(file_->Written().Size), file_->Written().Time,
                        known_crc_ >= 0 ? known_crc_ : crc_.Value()});
  }

 private:
  std::unique_ptr<TCardFile> file_;
  std::string name_;
  std::vector<TManifestFile>& written_;
  int64_t known_crc_;
  TCrc32 crc_;
};

// A game folder as the place of its new files, each recorded.
class TGameFolderTarget : public TFileTarget {
 public:
  // `card` is null in test mode, where nothing is created.
  TGameFolderTarget(const TCardFolder* card, const std::string& folder, std::vector<TManifestFile>& written,
                    int64_t knownCrc = -1)
      : card_(card), folder_(folder), written_(written), known_crc_(knownCrc) {}
  std::unique_ptr<TFileSink> Create(const std::string& relativePath) override {
    if (!card_) throw std::logic_error("a file is created in test mode");
    // The game folder itself is there already.
    const size_t slash = relativePath.rfind('/');
    if (slash != std::string::npos) card_->MakeFolders(folder_ + relativePath.substr(0, slash + 1));
    return std::make_unique<TRecordedFile>(card_->CreateFile(folder_ + relativePath), relativePath, written_,
                                           known_crc_);
  }

 private:
  const TCardFolder* card_;
  const std::string& folder_;
  std::vector<TManifestFile>& written_;
  int64_t known_crc_;
};

// Games read ahead of the one being written, per thread.
constexpr size_t kGamesAheadPerThread = 16;
// Games handed to the writer threads and not yet finished, at most.
constexpr size_t kMaxGamesAside = 32;

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

void AddSortedUnique(const TCollator& collator, std::vector<std::u16string>& list, std::u16string item) {
  const auto pos = std::lower_bound(list.begin(), list.end(), item,
                                    [&](const auto& a, const auto& b) { return collator.Compare(a, b) < 0; });
  if (pos != list.end() && collator.Compare(*pos, item) == 0) return;
  list.insert(pos, std::move(item));
}

void TWorkThread::ExtractArchives() {
  const size_t n = ArchiveList.size();
  // The record is begun before the first game, so that it takes its place in
  // the output folder at one point of every run.
  if (!FTestMode) FManifest = std::make_unique<TManifestWriter>(Card(), kManifestName, FFingerprint);
  const int threads = PipelineThreads();
  TByteBudget budget(kPreparedBytesCap);
  std::atomic<size_t> writing{0};  // the game this thread writes or waits for
  std::atomic<bool> quit{false};
  const std::function<bool()> stopped = [&] { return quit || Terminated(); };
  TWrites writes;  // games handed to the writer threads, in game order
  TOrderedPipeline<TPreparedGame> pipeline(
      n, threads, kGamesAheadPerThread * static_cast<size_t>(threads),
      [&](size_t i, int thread) {
        if (Kept(i)) return TPreparedGame();
        return Worker(thread).Prepare(ArchiveList[i], threads ? &budget : nullptr,
                                      [&writing, i] { return writing == i; }, stopped);
      },
      stopped);
  TTaskQueue writers(FTestMode ? 0 : threads);
  const TQuitOnExit quitOnExit(quit);
  for (size_t i = 0; i < n; ++i) {
    if (Terminated()) break;
    TArcInfo& game = ArchiveList[i];
    writing = i;
    std::optional<TPreparedGame> prepared = pipeline.Take();
    if (!prepared) break;
    auto w = std::make_unique<TGameWrite>();
    w->Game = &game;
    w->Status = GameStatus(game, i, n);
    w->Prepared = std::move(*prepared);
    if (Kept(i)) {
      // Kept by an update: it stays, or moves with a rename, in game order.
      FinishWrites(writes, writers, TFinish::fPoll);
      if (Terminated()) break;
      if (writes.empty()) ShowStatus(*w);
      PlaceKeptGame(*w, i);
      writes.push_back(std::move(w));
      continue;
    }
    // A game's status is shown once every game before it is finished, so
    // the statuses are those of a run on one thread, also when a game fails
    // or the job is stopped. A game before it that failed ends the job here.
    FinishWrites(writes, writers, TFinish::fPoll);
    if (Terminated()) break;
    if (writes.empty()) ShowStatus(*w);
    bool aside = false;
    try {
      BeginGame(*w, n);
      aside = writers.Threads() > 0 && CanWriteAside(*w);
      if (!aside) {
        // Written here: the games before it come first.
        FinishWritesBefore(*w, writes, writers);
        if (!w->StatusShown) ShowStatus(*w);
        const TZipCloser closer(FZipper->Reader());
        w->Reader = &FZipper->Reader();
        WriteGame(*w);
        AddCounts(w->Tally);
        RecordGame(ManifestRecord(*w));
      }
    } catch (const Error& e) {
      FinishWritesBefore(*w, writes, writers);
      if (!w->StatusShown) ShowStatus(*w);
      if (!FKeepGoing || EndsTheJob(e.Code())) {
        TakeOffCardAfterFailure(*w);
        throw;
      }
      DropGame(*w, e.what());
    }
    if (aside) {
      TGameWrite& task = *w;
      writes.push_back(std::move(w));
      writers.Submit([this, &task] { WriteGameAside(task); });
    }
  }
  FinishWrites(writes, writers, TFinish::fAll);
  FUnknownFileExtensionsFound = UnknownExtensionsText();
}

bool TWorkThread::CanWriteAside(const TGameWrite& w) const {
  // Only a game that needs no more reading, in a folder of its own, and
  // whose failure ends the job: a game left out would have to leave the
  // folders after it in the order of a run on one thread.
  if (FKeepGoing || !w.FolderMade || w.Prepared.OpenError) return false;
  if (FNFOStyle != nsExclude && !w.Prepared.NfoReady) return false;
  return std::all_of(w.Prepared.Plan.begin(), w.Prepared.Plan.end(),
                     [](const TPlannedEntry& p) { return p.Ready || (!p.Tape && p.Target.empty()); });
}

void TWorkThread::WriteGameAside(TGameWrite& w) const {
  try {
    WriteGame(w);
  } catch (...) {
    w.Failure = std::current_exception();
  }
  // Frees the bytes read ahead for the threads that read.
  w.Prepared = TPreparedGame();
  w.Done = true;
}

void TWorkThread::FinishWrites(TWrites& writes, TTaskQueue& writers, TFinish how) {
  if (how != TFinish::fPoll) writers.Drain();
  while (!writes.empty()) {
    TGameWrite& front = *writes.front();
    if (!front.StatusShown) {
      if (Terminated()) {
        // Stopped: the games whose status was not shown are taken off the
        // card again, the last first.
        writers.Drain();
        for (auto later = writes.rbegin(); later != writes.rend(); ++later) {
          if (!(*later)->Kept) RemoveGame(**later);
        }
        writes.clear();
        return;
      }
      ShowStatus(front);
    }
    if (!front.Done) {
      if (how == TFinish::fPoll && writes.size() <= kMaxGamesAside) return;
      writers.WaitFor([&front] { return front.Done.load(); });
    }
    std::unique_ptr<TGameWrite> w = std::move(writes.front());
    writes.pop_front();
    if (w->Failure) {
      // The job ends with the first game that failed, as it would on one
      // thread; the games after it are taken off the card again.
      writers.Drain();
      for (auto later = writes.rbegin(); later != writes.rend(); ++later) {
        if (!(*later)->Kept) RemoveGame(**later);
      }
      writes.clear();
      FStatus = w->Status;
      TakeOffCardAfterFailure(*w);
      std::rethrow_exception(w->Failure);
    }
    AddCounts(w->Tally);
    RecordGame(w->Kept ? w->Record : ManifestRecord(*w));
  }
}

void TWorkThread::FinishWritesBefore(TGameWrite& w, TWrites& writes, TTaskQueue& writers) {
  try {
    FinishWrites(writes, writers, TFinish::fAll);
  } catch (...) {
    // A game before it failed: this one, too, is taken off again.
    RemoveGame(w);
    throw;
  }
}

void TWorkThread::ShowStatus(TGameWrite& w) {
  UpdateProgress(w.Status);
  w.StatusShown = true;
}

void TWorkThread::AddCounts(const TJobCounts& tally) {
  FGameCount += tally.FGameCount;
  FExtractedTapeArchives += tally.FExtractedTapeArchives;
  FExtractedTapeFiles += tally.FExtractedTapeFiles;
  FTapeArchivesNotExtracted += tally.FTapeArchivesNotExtracted;
  FSIDCount += tally.FSIDCount;
  FSIDErrors += tally.FSIDErrors;
}

std::string TWorkThread::GameStatus(const TArcInfo& game, size_t index, size_t count) const {
  std::string status = Format("Extracting archives (%d/%d)\r\n", static_cast<int>(index + 1), static_cast<int>(count)) +
                       ClipText(ExtractFileName(game.ZipFile)) + "\r\n(" + ClipText(Utf16ToUtf8(game.Name)) + ")";
  if (FTestMode) status += "\r\n[Test Mode!]";
  return status;
}

void TWorkThread::BeginGame(TGameWrite& w, size_t count) {
  TArcInfo& game = *w.Game;
  TPreparedGame& prepared = w.Prepared;
  game.RealOutPath = PlaceGame(game, count);
  w.Folder = Utf16ToUtf8(game.RealOutPath);
  // An update brings back the folders it moved aside, in order.
  if (FUpdate) {
    const std::string path = Utf16ToUtf8(game.RealOutPath);
    EnsureFolder(ExtractFilePath(std::string_view(path).substr(0, path.size() - 1)));
  }
  // Test mode makes no folder: none is ever there before.
  w.FolderMade = true;
  if (!FTestMode) {
    w.LevelsMade = FCard->MakeFolders(w.Folder);
    w.FolderMade = w.LevelsMade > 0;
  }
  w.Files = std::move(prepared.Files);
  for (std::u16string& ext : prepared.UnknownExtensions) {
    w.Extensions.push_back(Utf16ToUtf8(ext));
    AddSortedUnique(FCollator, FUnknownExtensions, std::move(ext));
  }
  game.UnhandledFileCount += prepared.UnhandledFileCount;
  // The zip could not be opened or listed: the game fails here, where it
  // would have failed had this thread read the zip itself.
  if (prepared.OpenError) std::rethrow_exception(prepared.OpenError);
  if (FAutoSwap) w.AutoSwapLines = AutoSwapLines(prepared.Plan);
}

void TWorkThread::WriteGame(TGameWrite& w) const {
  TArcInfo& game = *w.Game;
  if (!w.AutoSwapLines.empty() && !FTestMode) {
    const TWrittenText written = WriteTextLines(*FCard, w.Folder + "AUTOSWAP.LST", w.AutoSwapLines);
    w.Written.push_back({"AUTOSWAP.LST", static_cast<int64_t>(written.Stat.Size), written.Stat.Time, written.Crc});
  }
  const bool tapeError = ExtractEntries(w);
  WriteNFO(w);
  NoteExtraction(game, tapeError, w.Files.Renamed());
  ++w.Tally.FGameCount;
  if (FIncludeSIDs && !game.SIDFile.empty()) CopySIDs(w);
}

TZipReader& TWorkThread::OpenZip(TGameWrite& w) const {
  // What was not read ahead is read here, from the zip opened once per game.
  if (!w.Reader) throw Error("internal error: no zip reader on a writer thread");
  TZipReader& reader = *w.Reader;
  if (!reader.IsOpen()) {
    reader.SetFileName(w.Game->ZipFile);
    reader.Open();
  }
  return reader;
}

void TWorkThread::DropGame(TGameWrite& w, const std::string& cause) {
  // What the game left is removed: a game is on the card whole or not at all.
  // A folder that an earlier game of the same name and ID made keeps that
  // game's files.
  TArcInfo& game = *w.Game;
  TakeOffCard(w);
  game.ExtractedFileCount = 0;
  game.ExtractionStatus += u" not extracted: " + Utf8ToUtf16(ClipText(cause, kMaxMessageText));
  ++FFailedGames;
}

void TWorkThread::TakeOffCard(const TGameWrite& w) const {
  if (FTestMode || w.Folder.empty()) return;
  if (w.FolderMade) {
    RemoveGame(w);
  } else {
    for (const std::string& path : w.Files.Paths()) {
      if (FCard->Stat(w.Folder + path).Kind == TCardKind::ckFile) FCard->Remove(w.Folder + path);
    }
  }
}

void TWorkThread::TakeOffCardAfterFailure(const TGameWrite& w) const noexcept {
  // The failure that ends the job is the one to report, not one of this.
  try {
    TakeOffCard(w);
  } catch (const std::exception&) {
  }
}

void TWorkThread::RemoveGame(const TGameWrite& w) const {
  // The game's folder goes with what it holds, and so do the folders made
  // for it that are left empty: an abort leaves whole games only.
  if (FTestMode || !w.FolderMade || w.Folder.empty()) return;
  FCard->RemoveTree(w.Folder);
  std::string level = w.Folder;
  for (size_t k = 1; k < w.LevelsMade; ++k) {
    const size_t slash = level.find_last_of('/', level.size() - 2);
    if (slash == std::string::npos) break;
    level.resize(slash + 1);
    if (!FCard->IsFolder(level) || !FCard->List(level).empty()) break;
    FCard->Remove(level);
  }
}

void TWorkThread::WriteGameFile(TGameWrite& w, const std::string& relative, bool fromZip,
                                const std::function<void(TFileSink&)>& fill, int64_t knownCrc) const {
  // A failure names the zip; the zip reader's own errors name it already.
  const auto named = [&w](const Error& e) {
    return Error(ClipText(w.Game->ZipFile) + ": " + ClipText(e.what(), kMaxMessageText), e.Code());
  };
  TGameFolderTarget target(FCard.get(), w.Folder, w.Written, knownCrc);
  std::unique_ptr<TFileSink> file;
  try {
    file = target.Create(relative);
  } catch (const Error& e) {
    throw named(e);
  }
  if (fromZip) {
    fill(*file);
  } else {
    try {
      fill(*file);
    } catch (const Error& e) {
      throw named(e);
    }
  }
  try {
    file->Commit();
  } catch (const Error& e) {
    throw named(e);
  }
}

std::vector<std::u16string> TWorkThread::AutoSwapLines(const std::vector<TPlannedEntry>& plan) const {
  // The disks under the names they are written with.
  std::vector<std::u16string> d64Names;
  for (const TPlannedEntry& p : plan) {
    if (p.Tape || UpperExtension(p.Entry.FileName) != u".D64") continue;
    d64Names.push_back(Utf8ToUtf16(p.Target.empty() ? p.Entry.FileName : ExtractFileName(p.Target)));
  }
  if (d64Names.size() < 2) return {};
  std::sort(d64Names.begin(), d64Names.end(), [&](const auto& a, const auto& b) { return FCollator.Less(a, b); });
  return d64Names;
}

bool TWorkThread::ExtractEntries(TGameWrite& w) const {
  bool tapeError = false;
  for (TPlannedEntry& p : w.Prepared.Plan) {
    if (p.Tape) {
      if (!ConvertTape(w, p)) tapeError = true;
      continue;
    }
    // The entry itself, at its stored path made valid and unique.
    if (!FTestMode && !p.Target.empty()) WriteEntry(w, p);
    ++w.Game->ExtractedFileCount;
  }
  return tapeError;
}

void TWorkThread::WriteEntry(TGameWrite& w, TPlannedEntry& p) const {
  if (!p.Ready) {
    TZipReader& reader = OpenZip(w);
    WriteGameFile(w, p.Target, true, [&](TFileSink& out) { reader.ExtractEntryTo(p.Entry, out); }, p.Entry.Crc);
    return;
  }
  // Read whole, so checked against the archive's CRC-32 already.
  WriteGameFile(w, p.Target, false, [&](TFileSink& out) { out.Write(p.Data.data(), p.Data.size()); }, p.Entry.Crc);
  std::vector<uint8_t>().swap(p.Data);
}

bool TWorkThread::ConvertTape(TGameWrite& w, TPlannedEntry& p) const {
  // Read from where the search found it, also inside a sub-folder. A tape
  // too large to hold is an error of this game's tape, not of the job.
  std::vector<uint8_t> tapeBuffer = std::move(p.Data);
  if (!p.Ready) {
    try {
      OpenZip(w).ExtractEntryToMemory(p.Entry, tapeBuffer, kMaxTapeBytes);
    } catch (const Error& e) {
      if (e.Code() != EFBIG) throw;
      tapeBuffer.clear();
    }
  }
  const Tt64Archive tape(tapeBuffer, p.Entry.FileName);
  TGameFolderTarget target(FCard.get(), w.Folder, w.Written);
  const int32_t written =
      tape.ExtractToPxx(target, FTestMode, [&w](const std::string& name) { return w.Files.Claim(name); });
  if (written <= 0) {
    ++w.Tally.FTapeArchivesNotExtracted;
    return false;
  }
  w.Tally.FExtractedTapeFiles += written;
  ++w.Tally.FExtractedTapeArchives;
  ++w.Game->ExtractedFileCount;
  return true;
}

void TWorkThread::WriteNFO(TGameWrite& w) const {
  if (FTestMode) return;
  TPreparedGame& prepared = w.Prepared;
  if (FNFOStyle == nsOptimize) {
    const std::vector<std::u16string> nfoLines =
        prepared.NfoReady ? std::move(prepared.NfoLines) : FZipper->ReformattedNfo(OpenZip(w), *w.Game);
    if (!FTestMode) {
      const TWrittenText written = WriteTextLines(*FCard, w.Folder + "VERSION.NFO", nfoLines);
      w.Written.push_back({"VERSION.NFO", static_cast<int64_t>(written.Stat.Size), written.Stat.Time, written.Crc});
    }
  } else if (FNFOStyle == nsNoOptimize && !FTestMode) {
    // Only the NFO at the zip's root is the game's.
    if (prepared.NfoReady) {
      WriteGameFile(w, prepared.NfoName, false,
                    [&](TFileSink& out) { out.Write(prepared.NfoBytes.data(), prepared.NfoBytes.size()); });
    } else {
      TZipReader& reader = OpenZip(w);
      WriteGameFile(w, reader.RootEntryName("VERSION.NFO"), true,
                    [&](TFileSink& out) { reader.ExtractRootEntryTo("VERSION.NFO", out); });
    }
  }
}

void TWorkThread::NoteExtraction(TArcInfo& game, bool tapeError, bool renamed) const {
  if (game.ExtractedFileCount == 0) {
    game.ExtractionStatus += u" No Files Extracted.";
  } else if (game.UnhandledFileCount > 0) {
    game.ExtractionStatus += u" Unexpected files ignored.";
  }
  if (tapeError) game.ExtractionStatus += u" T64 file extraction error.";
  if (renamed) game.ExtractionStatus += u" Files of equal names renamed.";
}

void TWorkThread::CopySIDs(TGameWrite& w) const {
  // The tunes were looked up in the HVSC while the zip was read.
  TArcInfo& game = *w.Game;
  const std::string base = Utf16ToUtf8(SidBaseName(game.SIDFile));
  const bool sidCopied = CopySIDFile(w, w.Prepared.SidSource, base + ".sid");
  const bool prgCopied = CopySIDFile(w, w.Prepared.PrgSource, base + "_SID.prg");
  if (sidCopied || prgCopied) {
    ++w.Tally.FSIDCount;
  } else {
    ++w.Tally.FSIDErrors;
    game.ExtractionStatus += u" Missing SID.";
  }
}

bool TWorkThread::CopySIDFile(TGameWrite& w, const std::string& Source, const std::string& name) const {
  if (Source.empty()) return false;
  if (FTestMode) return true;
  const std::string copy = FZipper->SidCopyName(name);
  FileHandle in;
  try {
    in = OpenForReading(Source);
  } catch (const Error&) {
    return false;
  }
  WriteGameFile(w, copy, false, [&](TFileSink& out) {
    std::vector<char> buffer(size_t{1} << 16);
    for (;;) {
      const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw SystemError(ClipText(Source), errno);
      if (n == 0) return;
      out.Write(buffer.data(), static_cast<size_t>(n));
    }
  });
  return true;
}

TManifestGame TWorkThread::ManifestRecord(const TGameWrite& w) const {
  const TArcInfo& game = *w.Game;
  TManifestGame record = SourceRecord(game);
  record.Path = Utf16ToUtf8(game.RealOutPath);
  record.Files = w.Written;
  record.UniqueID = game.UniqueID;
  record.ExtractedFileCount = game.ExtractedFileCount;
  record.UnhandledFileCount = game.UnhandledFileCount;
  record.Status = Utf16ToUtf8(game.ExtractionStatus);
  record.Extensions = w.Extensions;
  record.TapeArchives = w.Tally.FExtractedTapeArchives;
  record.TapeFiles = w.Tally.FExtractedTapeFiles;
  record.TapesNotExtracted = w.Tally.FTapeArchivesNotExtracted;
  record.SidCount = w.Tally.FSIDCount;
  record.SidErrors = w.Tally.FSIDErrors;
  return record;
}

void TWorkThread::FlushCard() {
  // A card pulled after the summary must hold everything: the devices' file
  // systems are not flushed by the kernel until long after.
  if (FTestMode || !IsRemovableCardFileSystem(FDestDir)) return;
  UpdateProgress("Flushing to the card...");
  Card().Sync();
}

std::string TWorkThread::UnknownExtensionsText() const {
  constexpr size_t kShown = 50;
  if (FUnknownExtensions.size() <= kShown) return Utf16ToUtf8(CommaText(FUnknownExtensions));
  const std::vector<std::u16string> shown(FUnknownExtensions.begin(), FUnknownExtensions.begin() + kShown);
  return Utf16ToUtf8(CommaText(shown)) + Format(" and %d more", static_cast<int>(FUnknownExtensions.size() - kShown));
}

}  // namespace vq
