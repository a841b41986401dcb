#include "engine/zip_work.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>

#include "base/error.h"
#include "base/fat_name.h"
#include "base/file_system.h"
#include "base/text.h"
#include "engine/hvsc_path.h"

namespace vq {

namespace {

// The NFO fields: title, SID path and unique ID.
constexpr const char* kNamePattern = "^Name:\\s*([^\\r\\n]+)$";
constexpr const char* kSIDPattern = "^SID:\\s{2,20}([^\\r\\n]+)\\.sid$";
constexpr const char* kUniqueIDPattern = "^Unique-ID:\\s*(\\d+)\\s*?$";
constexpr unsigned kFieldOptions = Regex::kUtf8 | Regex::kNewlineAny | Regex::kCaseless | Regex::kMultiline;

// Room beyond an entry's stated size: a header that understates it a little
// still lets the entry be read ahead.
constexpr uint64_t kSizeSlack = uint64_t{64} << 10;

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

}  // namespace

TZipWorker::TZipWorker(const TGameSettings& settings, THvscListings& hvsc)
    : settings_(settings),
      name_regex_(kNamePattern, kFieldOptions),
      sid_regex_(kSIDPattern, kFieldOptions),
      unique_id_regex_(kUniqueIDPattern, kFieldOptions),
      reformat_regex_(kReformatPattern, kReformatOptions),
      hvsc_(hvsc) {}

TScannedZip TZipWorker::Scan(const std::string& path) {
  TScannedZip out;
  reader_.SetFileName(path);
  const TZipCloser closer(reader_);
  try {
    // A file that is not a readable zip counts as invalid like one without
    // a usable VERSION.NFO.
    reader_.Open();
    const std::string nfo = reader_.ExtractToString("VERSION.NFO", kMaxNfoBytes);
    RegexMatch match;
    if (!name_regex_.Search(nfo, match)) {
      out.Reason = "VERSION.NFO has no \"Name:\" line";
      return out;
    }
    out.Name = Trim(Utf8ToUtf16(match.Group(nfo, 1)));
    if (unique_id_regex_.Search(nfo, match)) {
      int32_t parsed = 0;
      if (TryParseInt32(match.Group(nfo, 1), parsed)) out.UniqueID = parsed;
    }
    if (settings_.IncludeSIDs && sid_regex_.Search(nfo, match)) out.SIDFile = Utf8ToUtf16(match.Group(nfo, 1));
    if (settings_.RecordSources) {
      // What the manifest records to tell later whether the game changed.
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0) {
        out.Size = static_cast<uint64_t>(st.st_size);
        out.Time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
      }
      out.Crcs = reader_.CrcList();
      out.SidKey = SidKey(out.SIDFile);
    }
    out.Valid = true;
  } catch (const std::exception& e) {
    out.Reason = e.what();
  }
  return out;
}

TScannedZip TZipWorker::FromRecord(const TManifestGame& record) const {
  TScannedZip out;
  out.Valid = true;
  out.Name = Utf8ToUtf16(record.Name);
  if (record.IdFromNfo) out.UniqueID = record.UniqueID;
  if (settings_.IncludeSIDs) out.SIDFile = Utf8ToUtf16(record.SidFile);
  out.Size = record.Size;
  out.Time = record.Time;
  out.Crcs = record.Crcs;
  // The tunes are looked at again: they may have changed on their own.
  out.SidKey = SidKey(out.SIDFile);
  return out;
}

TPreparedGame TZipWorker::Prepare(const TArcInfo& game, TByteBudget* budget, const std::function<bool()>& mayPass,
                                  const std::function<bool()>& stopped) {
  TPreparedGame prepared;
  prepared.Lease = TBudgetLease(budget);
  FindSids(game, prepared);
  reader_.SetFileName(game.ZipFile);
  const TZipCloser closer(reader_);
  try {
    reader_.Open();
    PlanEntries(reader_, game, prepared);
  } catch (const std::exception&) {
    // The writer meets this error at the point where it opens the zip.
    prepared.OpenError = std::current_exception();
    return prepared;
  }
  ReadEntries(prepared, budget, mayPass, stopped);
  if (!stopped()) ReadNfo(game, prepared);
  return prepared;
}

void TZipWorker::PlanEntries(TZipReader& reader, const TArcInfo& game, TPreparedGame& prepared) const {
  // The files the job writes itself keep their names; entries that would
  // take one of them, or each other's, get a number.
  TGameFiles& files = prepared.Files;
  if (settings_.AutoSwap) files.Reserve("AUTOSWAP.LST");
  if (settings_.NFOStyle != nsExclude) files.Reserve("VERSION.NFO");
  if (settings_.IncludeSIDs && !game.SIDFile.empty()) {
    const std::string base = Utf16ToUtf8(SidBaseName(game.SIDFile));
    files.Reserve(SidCopyName(base + ".sid"));
    files.Reserve(SidCopyName(base + "_SID.prg"));
  }
  TZipEntry entry;
  for (bool found = reader.FindFirst("*.*", entry); found; found = reader.FindNext(entry)) {
    const std::u16string ext = UpperExtension(entry.FileName);
    if (ext == u".NFO") continue;
    if (ext == u".T64" && settings_.ExtractT64) {
      prepared.Plan.push_back({entry, true, {}, false, {}});
    } else if (ext == u".T64" || IsImageExtension(ext)) {
      const std::string target = TZipReader::TargetPath(entry);
      prepared.Plan.push_back({entry, false, target.empty() ? target : files.Claim(target), false, {}});
    } else {
      prepared.UnknownExtensions.push_back(ext);
      ++prepared.UnhandledFileCount;
    }
  }
}

void TZipWorker::ReadEntries(TPreparedGame& prepared, TByteBudget* budget, const std::function<bool()>& mayPass,
                             const std::function<bool()>& stopped) {
  uint64_t gameBytes = 0;
  for (TPlannedEntry& p : prepared.Plan) {
    // Test mode writes no entry; it only looks into the tapes.
    const bool needed = p.Tape || (!settings_.TestMode && !p.Target.empty());
    if (!needed || p.Entry.Size > kMaxPreparedEntry) continue;
    const uint64_t limit = std::min<uint64_t>({p.Entry.Size + kSizeSlack, kMaxPreparedEntry, p.Tape ? kMaxTapeBytes : ~uint64_t{0}});
    if (gameBytes + limit > kMaxPreparedGame) continue;
    if (stopped()) return;
    if (budget && !budget->Acquire(static_cast<size_t>(limit), mayPass, stopped)) return;
    prepared.Lease.Add(static_cast<size_t>(limit));
    try {
      reader_.ExtractEntryToMemory(p.Entry, p.Data, limit);
      p.Ready = true;
      gameBytes += p.Data.size();
      prepared.Lease.Give(static_cast<size_t>(limit - p.Data.size()));
    } catch (const std::exception&) {
      // Larger than it says, or damaged: the writer reads it itself and
      // meets whatever there is to meet.
      std::vector<uint8_t>().swap(p.Data);
      prepared.Lease.Give(static_cast<size_t>(limit));
    }
  }
}

void TZipWorker::ReadNfo(const TArcInfo& game, TPreparedGame& prepared) {
  // Test mode writes no NFO, and the scan has read this one already.
  if (settings_.TestMode) return;
  try {
    if (settings_.NFOStyle == nsOptimize) {
      prepared.NfoLines = ReformattedNfo(reader_, game);
      prepared.NfoReady = true;
    } else if (settings_.NFOStyle == nsNoOptimize && !settings_.TestMode) {
      prepared.NfoName = reader_.RootEntryName("VERSION.NFO");
      reader_.ExtractToMemory("VERSION.NFO", prepared.NfoBytes, kMaxNfoBytes);
      prepared.NfoReady = true;
    }
  } catch (const std::exception&) {
    // The writer reads it itself and meets the error there.
    prepared.NfoLines.clear();
    std::vector<uint8_t>().swap(prepared.NfoBytes);
  }
}

void TZipWorker::FindSids(const TArcInfo& game, TPreparedGame& prepared) const {
  if (!settings_.IncludeSIDs || game.SIDFile.empty()) return;
  const std::string sidFile = Utf16ToUtf8(game.SIDFile);
  auto existing = [](const std::string& path) { return FileExists(path) ? path : std::string(); };
  prepared.SidSource = existing(ResolveHvscPath(settings_.HvscDir, sidFile + ".sid", hvsc_));
  prepared.PrgSource = existing(ResolveHvscPath(settings_.HvscDir, sidFile + ".prg", hvsc_));
}

std::string TZipWorker::SidKey(const std::u16string& sidFile) const {
  if (!settings_.IncludeSIDs || sidFile.empty()) return {};
  std::string key;
  for (const char* ext : {".sid", ".prg"}) {
    const std::string path = ResolveHvscPath(settings_.HvscDir, Utf16ToUtf8(sidFile) + ext, hvsc_);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    key += Format("%s|%lld|%lld.%09ld|", path.c_str(), static_cast<long long>(st.st_size),
                  static_cast<long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec));
  }
  return key;
}

std::vector<std::u16string> TZipWorker::ReformattedNfo(TZipReader& reader, const TArcInfo& game) const {
  const std::u16string text = Utf8ToUtf16(reader.ExtractToString("VERSION.NFO", kMaxNfoBytes));
  std::vector<std::u16string> lines{game.OutFolderName};
  reformatter_.ReformatNFO(text, lines);
  return lines;
}

std::string TZipWorker::SidCopyName(const std::string& name) const {
  if (settings_.FileNameStyle != fnsSD2IEC) return FatName(name);
  const size_t dot = name.find_last_of('.');
  const bool prg = dot != std::string::npos && name.substr(dot) == ".prg";
  return prg ? "GAMESID.PRG" : "GAMESID.SID";
}

}  // namespace vq
