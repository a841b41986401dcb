#include <algorithm>
#include <string>
#include <vector>

#include "base/collator.h"
#include "base/error.h"
#include "base/file_system.h"
#include "base/text.h"
#include "engine/folder_partition.h"
#include "engine/hvsc_path.h"
#include "engine/text_file.h"
#include "engine/work_thread.h"
#include "zip/zip_reader.h"
#include "tape/t64_archive.h"

namespace vq {

namespace {

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
    ExtractGame(ArchiveList[i], i, n);
  }
  if (!FUnknownExtensions.empty()) FUnknownFileExtensionsFound = Utf16ToUtf8(CommaText(FUnknownExtensions));
}

void TWorkThread::ExtractGame(TArcInfo& game, size_t index, size_t count) {
  std::string status = Format("Extracting archives (%d/%d)\r\n", static_cast<int>(index + 1), static_cast<int>(count)) +
                       ExtractFileName(game.ZipFile) + "\r\n(" + Utf16ToUtf8(game.Name) + ")";
  if (FTestMode) status += "\r\n[Test Mode!]";
  UpdateProgress(std::move(status));

  const std::string gameFolder = CreateGameFolder(game, count);
  FZipper->SetBaseFolder(gameFolder);
  FZipper->SetFileName(game.ZipFile);
  {
    ArchiveCloser closer(*FZipper);
    FZipper->Open();
    if (FAutoSwap) WriteAutoSwap(gameFolder);
    const bool tapeError = ExtractEntries(game, gameFolder);
    WriteNFO(game, gameFolder);
    if (game.ExtractedFileCount == 0) {
      game.ExtractionStatus += u" No Files Extracted.";
    } else if (game.UnhandledFileCount > 0) {
      game.ExtractionStatus += u" Unexpected files ignored.";
    }
    if (tapeError) game.ExtractionStatus += u" T64 file extraction error.";
    ++FGameCount;
  }
  if (FIncludeSIDs && !game.SIDFile.empty()) CopySIDs(game, gameFolder);
}

std::string TWorkThread::CreateGameFolder(TArcInfo& game, size_t count) {
  game.RealOutPath = PlaceGame(game, count);
  const std::string gameFolder = FDestDir + Utf16ToUtf8(game.RealOutPath);
  if (!FTestMode && !ForceDirectories(gameFolder)) {
    throw Error(Format("Unable to create directory \"%s\"", gameFolder.c_str()));
  }
  return gameFolder;
}

void TWorkThread::WriteAutoSwap(const std::string& gameFolder) {
  std::vector<std::u16string> d64Names;
  TZipEntry entry;
  for (bool found = FZipper->FindFirst("*.D64", entry); found; found = FZipper->FindNext(entry)) {
    d64Names.push_back(Utf8ToUtf16(entry.FileName));
  }
  if (d64Names.size() < 2) return;
  std::sort(d64Names.begin(), d64Names.end(), [&](const auto& a, const auto& b) { return FCollator.Less(a, b); });
  if (!FTestMode) WriteTextLines(gameFolder + "AUTOSWAP.LST", d64Names);
}

bool TWorkThread::ExtractEntries(TArcInfo& game, const std::string& gameFolder) {
  bool tapeError = false;
  TZipEntry entry;
  for (bool found = FZipper->FindFirst("*.*", entry); found; found = FZipper->FindNext(entry)) {
    const std::u16string ext = UpperExtension(entry.FileName);
    if (ext == u".NFO") continue;
    if (ext == u".T64" && FExtractT64) {
      if (!ConvertTape(entry, game, gameFolder)) tapeError = true;
    } else if (ext == u".T64" || IsImageExtension(ext)) {
      // The entry itself, at its stored path; every entry of the same name
      // has its own turn in this pass.
      if (!FTestMode) FZipper->ExtractEntry(entry);
      ++game.ExtractedFileCount;
    } else {
      AddSortedUnique(FCollator, FUnknownExtensions, ext);
      ++game.UnhandledFileCount;
    }
  }
  return tapeError;
}

bool TWorkThread::ConvertTape(const TZipEntry& entry, TArcInfo& game, const std::string& gameFolder) {
  // Read from where the search found it, also inside a sub-folder.
  std::vector<uint8_t> tapeBuffer;
  FZipper->ExtractEntryToMemory(entry, tapeBuffer);
  const Tt64Archive tape(tapeBuffer, entry.FileName);
  const int32_t written = tape.ExtractToPxx(gameFolder, FTestMode);
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
    if (!FTestMode) FZipper->ExtractFiles("VERSION.NFO");
  }
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

bool TWorkThread::CopySIDFile(const std::string& Source, std::string Dest) const {
  if (!FileExists(Source)) return false;
  if (FTestMode) return true;
  if (FFileNameStyle == fnsSD2IEC) {
    const std::string name = ExtractFileName(Dest);
    const size_t dot = name.find_last_of('.');
    const bool prg = dot != std::string::npos && name.substr(dot) == ".prg";
    Dest = ExtractFilePath(Dest) + (prg ? "GAMESID.PRG" : "GAMESID.SID");
  }
  return CopyFileReplacing(Source, Dest);
}

}  // namespace vq
