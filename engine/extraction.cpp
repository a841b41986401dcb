#include <unistd.h>

#include <algorithm>
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
#include "engine/text_file.h"
#include "engine/work_thread.h"
#include "zip/zip_reader.h"
#include "tape/t64_archive.h"

namespace vq {

// One zip entry the extraction writes: an image at its target path in the
// game folder, or a tape archive to convert.
struct TPlannedEntry {
  TZipEntry Entry;
  bool Tape = false;   // converted to PC64 files instead of written
  std::string Target;  // relative path in the game folder; empty: not writable
};

namespace {

// Errors of the destination itself: no other game could be written either.
bool EndsTheJob(int code) { return code == ENOSPC || code == EDQUOT || code == EROFS; }

// Closes the job's zip reader when a game's work ends, also by an error.
class ArchiveCloser {
 public:
  explicit ArchiveCloser(TZipReader& reader) : reader_(reader) {}
  ~ArchiveCloser() { reader_.Close(); }
  ArchiveCloser(const ArchiveCloser&) = delete;
  ArchiveCloser& operator=(const ArchiveCloser&) = delete;

 private:
  TZipReader& reader_;
};

// The extension of a file name from its last dot, dot included, upper-cased;
// empty without a dot.
std::u16string UpperExtension(const std::string& fileName) {
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos) return {};
  return UpperCase(Utf8ToUtf16(std::string_view(fileName).substr(dot)));
}

bool IsImageExtension(std::u16string_view ext) {
  return ext == u".D64" || ext == u".D81" || ext == u".CRT" || ext == u".TAP" || ext == u".G64" || ext == u".REU";
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

void TWorkThread::ExtractArchives() {
  const size_t n = ArchiveList.size();
  for (size_t i = 0; i < n; ++i) {
    if (Terminated()) break;
    TArcInfo& game = ArchiveList[i];
    try {
      ExtractGame(game, i, n);
    } catch (const Error& e) {
      if (!FKeepGoing || EndsTheJob(e.Code())) throw;
      DropGame(game, e.what());
    }
  }
  FUnknownFileExtensionsFound = UnknownExtensionsText();
}

void TWorkThread::ExtractGame(TArcInfo& game, size_t index, size_t count) {
  std::string status = Format("Extracting archives (%d/%d)\r\n", static_cast<int>(index + 1), static_cast<int>(count)) +
                       ClipText(ExtractFileName(game.ZipFile)) + "\r\n(" + ClipText(Utf16ToUtf8(game.Name)) + ")";
  if (FTestMode) status += "\r\n[Test Mode!]";
  UpdateProgress(std::move(status));

  const std::string gameFolder = CreateGameFolder(game, count);
  FZipper->SetBaseFolder(gameFolder);
  FZipper->SetFileName(game.ZipFile);
  {
    ArchiveCloser closer(*FZipper);
    FZipper->Open();
    const std::vector<TPlannedEntry> plan = PlanEntries(game);
    if (FAutoSwap) WriteAutoSwap(plan, gameFolder);
    const bool tapeError = ExtractEntries(plan, game, gameFolder);
    WriteNFO(game, gameFolder);
    NoteExtraction(game, tapeError);
    ++FGameCount;
  }
  if (FIncludeSIDs && !game.SIDFile.empty()) CopySIDs(game, gameFolder);
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
  if (!FTestMode && !ForceDirectories(gameFolder)) {
    const int err = errno;
    throw SystemError(Format("Unable to create directory \"%s\"", ClipText(gameFolder).c_str()), err);
  }
  return gameFolder;
}

std::vector<TPlannedEntry> TWorkThread::PlanEntries(TArcInfo& game) {
  // The files the job writes itself keep their names; entries that would
  // take one of them, or each other's, get a number.
  if (FAutoSwap) FGameFiles.Reserve("AUTOSWAP.LST");
  if (FNFOStyle != nsExclude) FGameFiles.Reserve("VERSION.NFO");
  if (FIncludeSIDs && !game.SIDFile.empty()) {
    const std::string base = Utf16ToUtf8(SidBaseName(game.SIDFile));
    FGameFiles.Reserve(SidCopyName(base + ".sid"));
    FGameFiles.Reserve(SidCopyName(base + "_SID.prg"));
  }
  std::vector<TPlannedEntry> plan;
  TZipEntry entry;
  for (bool found = FZipper->FindFirst("*.*", entry); found; found = FZipper->FindNext(entry)) {
    const std::u16string ext = UpperExtension(entry.FileName);
    if (ext == u".NFO") continue;
    if (ext == u".T64" && FExtractT64) {
      plan.push_back({entry, true, {}});
    } else if (ext == u".T64" || IsImageExtension(ext)) {
      const std::string target = TZipReader::TargetPath(entry);
      plan.push_back({entry, false, target.empty() ? target : FGameFiles.Claim(target)});
    } else {
      AddSortedUnique(FCollator, FUnknownExtensions, ext);
      ++game.UnhandledFileCount;
    }
  }
  return plan;
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

bool TWorkThread::ExtractEntries(const std::vector<TPlannedEntry>& plan, TArcInfo& game,
                                 const std::string& gameFolder) {
  bool tapeError = false;
  for (const TPlannedEntry& p : plan) {
    if (p.Tape) {
      if (!ConvertTape(p.Entry, game, gameFolder)) tapeError = true;
      continue;
    }
    // The entry itself, at its stored path made valid and unique.
    if (!FTestMode && !p.Target.empty()) FZipper->ExtractEntryTo(p.Entry, p.Target);
    ++game.ExtractedFileCount;
  }
  return tapeError;
}

bool TWorkThread::ConvertTape(const TZipEntry& entry, TArcInfo& game, const std::string& gameFolder) {
  // Read from where the search found it, also inside a sub-folder. A tape
  // too large to hold is an error of this game's tape, not of the job.
  std::vector<uint8_t> tapeBuffer;
  try {
    FZipper->ExtractEntryToMemory(entry, tapeBuffer);
  } catch (const Error& e) {
    if (e.Code() != EFBIG) throw;
    tapeBuffer.clear();
  }
  const Tt64Archive tape(tapeBuffer, entry.FileName);
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

void TWorkThread::WriteNFO(const TArcInfo& game, const std::string& gameFolder) {
  if (FNFOStyle == nsOptimize) {
    const std::u16string text = Utf8ToUtf16(FZipper->ExtractToString("VERSION.NFO"));
    std::vector<std::u16string> nfoLines{game.OutFolderName};
    FReformatter.ReformatNFO(text, nfoLines);
    if (!FTestMode) WriteTextLines(gameFolder + "VERSION.NFO", nfoLines);
  } else if (FNFOStyle == nsNoOptimize) {
    // Only the NFO at the zip's root is the game's.
    if (!FTestMode) FZipper->ExtractRootEntry("VERSION.NFO");
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
  return CopyFileReplacing(Source, ExtractFilePath(Dest) + SidCopyName(ExtractFileName(Dest)));
}

std::string TWorkThread::SidCopyName(const std::string& name) const {
  if (FFileNameStyle != fnsSD2IEC) return FatName(name);
  const size_t dot = name.find_last_of('.');
  const bool prg = dot != std::string::npos && name.substr(dot) == ".prg";
  return prg ? "GAMESID.PRG" : "GAMESID.SID";
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
